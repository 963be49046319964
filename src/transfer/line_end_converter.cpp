#include "transfer/line_end_converter.h"

namespace pellmarsh {
namespace {

constexpr int kCr = '\r';
constexpr int kLf = '\n';

int ByteAt(const char* chunk, size_t index) {
  return static_cast<unsigned char>(chunk[index]);
}

// Writes what a held-back byte needs; `next` is the byte after it, or -1 at the end.
char* EmitHeld(char* out, int held, int before, int next) {
  if (held == kLf && before != kCr) {
    *out++ = '\r';
    *out++ = '\n';
    return out;
  }
  *out++ = static_cast<char>(held);
  if (held == kCr && next != kLf) {
    *out++ = '\n';
  }
  return out;
}

}  // namespace

void LineEndConverter::Convert(const char* chunk, size_t count, std::string& out) {
  if (count == 0) {
    return;
  }
  // Every byte becomes at most two; writing through a pointer into room made
  // once keeps the per-byte cost to a compare and a store.
  const size_t start = out.size();
  out.resize(start + 2 * count + 2);
  char* write = out.data() + start;
  int last = pendingByte_;
  if (pendingByte_ >= 0) {
    write = EmitHeld(write, pendingByte_, byteBeforePending_, ByteAt(chunk, 0));
  }
  byteBeforePending_ = pendingByte_;
  for (size_t index = 0; index + 1 < count; ++index) {
    const int byte = ByteAt(chunk, index);
    if ((byte == kLf && last != kCr) || (byte == kCr && ByteAt(chunk, index + 1) != kLf)) {
      *write++ = '\r';
      *write++ = '\n';
    } else {
      *write++ = static_cast<char>(byte);
    }
    last = byte;
  }
  if (count > 1) {
    byteBeforePending_ = ByteAt(chunk, count - 2);
  }
  pendingByte_ = ByteAt(chunk, count - 1);
  out.resize(static_cast<size_t>(write - out.data()));
}

void LineEndConverter::Flush(std::string& out) {
  if (pendingByte_ < 0) {
    return;
  }
  char tail[3];
  const char* end = EmitHeld(tail, pendingByte_, byteBeforePending_, -1);
  out.append(tail, static_cast<size_t>(end - tail));
  pendingByte_ = -1;
}

}  // namespace pellmarsh
