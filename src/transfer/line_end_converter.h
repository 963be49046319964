#pragma once

#include <cstddef>
#include <string>

namespace pellmarsh {

// Turns every lone CR and every lone LF into CR LF and keeps CR LF as it is,
// chunk by chunk, with the same result wherever the chunk boundaries fall: the
// last byte of each chunk is held back until the next byte (or the end) shows
// what it needs.
class LineEndConverter {
 public:
  // Appends the converted bytes of the chunk to `out`.
  void Convert(const char* chunk, size_t count, std::string& out);
  // Appends what the held-back byte still needs at the end of the data.
  void Flush(std::string& out);
  void Reset() { pendingByte_ = byteBeforePending_ = -1; }
  bool holdsByte() const { return pendingByte_ >= 0; }

 private:
  int pendingByte_ = -1;        // the last byte of the previous chunk, 0..255, or -1
  int byteBeforePending_ = -1;  // the byte before it, or -1
};

}  // namespace pellmarsh
