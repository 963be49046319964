#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"
#include "transfer/line_end_converter.h"

namespace pellmarsh {

// The local file a transfer writes: opened for update when it exists (so a
// resume keeps its bytes) or created, written at a tracked position with
// optional line-end conversion, and closed and reopened now and then during a
// long transfer. Writes are not buffered by the program: each reaches the
// system at once.
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

  // Writes a received chunk (converted in text mode) at the position. `now` is
  // in seconds since 1970. False on any error writing or reopening.
  bool Write(const char* bytes, size_t count, bool textMode, int64_t now);
  // Writes what the held-back byte of text mode still needs; false on error.
  bool FlushText();
  // Cuts the file where writing ended, so no stale bytes of an older, longer
  // file remain after a whole transfer.
  bool TruncateAtPosition();
  void Close() { fd_.Reset(); }
  void ResetText() { converter_.Reset(); }
  // A byte of the source that text mode holds back, not yet in the file.
  bool holdsTextByte() const { return converter_.holdsByte(); }

 private:
  bool WriteAt(const char* bytes, size_t count);
  bool ReopenIfDue(int64_t now);

  UniqueFd fd_;
  std::string path_;
  int64_t position_ = 0;
  int64_t reopenTime_;
  int64_t bytesSinceReopen_ = 0;
  LineEndConverter converter_;
  std::string converted_;  // reused between writes; at most twice a chunk
};

}  // namespace pellmarsh
