#pragma once

#include <cstddef>
#include <string_view>

namespace pellmarsh {

struct IoResult {
  size_t count = 0;  // bytes moved; 0 with no error means the peer closed
  int error = 0;     // 0, kErrorWouldBlock, or another socket error number
};

// What the next call on a stream waits for: a descriptor to poll for reading
// or for writing, or none when the call can go on at once.
struct IoWait {
  int fd = -1;
  bool forWrite = false;
};

// The bytes of one connection as a protocol sends and receives them, plain or
// inside TLS. Every call returns at once.
class ByteStream {
 public:
  virtual IoResult Send(std::string_view bytes) = 0;
  // At most `size` bytes, as many as are there without waiting.
  virtual IoResult Receive(char* buffer, size_t size) = 0;
  // What the next Send (`sending`) or Receive waits for.
  virtual IoWait NextWait(bool sending) const = 0;
  // After a close: true when the peer closed without its protocol's own end
  // (TLS's closing alert), so a close cannot tell the end of a body from a cut.
  virtual bool ClosedWithoutEnd() const { return false; }

 protected:
  ~ByteStream() = default;
};

}  // namespace pellmarsh
