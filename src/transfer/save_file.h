#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace pellmarsh {

// The local file a transfer writes: opened for update when it exists (so a
// resume keeps its bytes) or created, written at a tracked position, and
// closed and reopened now and then during a long transfer. Writes are not buffered by the program:
// each reaches the system at once.
class SaveFile {
 public:
  static constexpr int64_t kReopenAfterBytes = 32'000;
  static constexpr int64_t kReopenAfterSeconds = 30;

  // `now` starts the reopen interval, in seconds since 1970.
  explicit SaveFile(int64_t now) : reopenTime_(now) {}

  // Opens the file for update or creates it; on success `fileSize` is its
  // length as found and the position is 0. False when it can do neither.
  bool Open(const std::string& path, int64_t& fileSize);
  bool isOpen() const { return fd_.valid(); }
  // The path this object opened, empty before.
  const std::string& path() const { return path_; }
  int64_t position() const { return position_; }
  void SeekTo(int64_t position) { position_ = position; }

  // Writes at the position and moves it on; false on error.
  bool Write(const char* bytes, size_t count);
  // Counts `count` more bytes of the download and, once more than
  // kReopenAfterBytes have come since the last reopen and kReopenAfterSeconds
  // have passed (`now`, in seconds since 1970), closes and reopens the file.
  // False when the reopen fails.
  bool NoteReceived(size_t count, int64_t now);
  // Cuts the file where writing ended, so no stale bytes of an older, longer
  // file remain after a whole transfer.
  bool TruncateAtPosition();
  void Close() { fd_.Reset(); }

 private:
  UniqueFd fd_;
  std::string path_;
  int64_t position_ = 0;
  int64_t reopenTime_;
  int64_t bytesSinceReopen_ = 0;
};

}  // namespace pellmarsh
