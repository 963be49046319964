#pragma once

#include <cstddef>
#include <string>

namespace pellmarsh {

// Turns every CR LF and every lone CR into LF and keeps LF as it is, chunk by
// chunk, with the same result wherever the chunk boundaries fall: a CR that
// ends a chunk is held back until the next byte (or the end) shows whether an
// LF of its own follows. Text with LF line ends passes unchanged.
class LineEndConverter {
 public:
  // Appends the converted bytes of the chunk to `out`.
  void Convert(const char* chunk, size_t count, std::string& out);
  // Appends what the held-back CR still needs at the end of the data.
  void Flush(std::string& out);
  void Reset() { holdsCr_ = false; }
  // True while the last source byte seen has not reached the output.
  bool holdsByte() const { return holdsCr_; }

 private:
  bool holdsCr_ = false;
};

}  // namespace pellmarsh
