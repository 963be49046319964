#include "transfer/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace pellmarsh {

bool SaveFile::Open(const std::string& path, int64_t& fileSize) {
  const bool exists = FileExists(path);
  // A link there would have us overwrite and cut its target, or create one
  // wherever a dangling link points.
  const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (exists ? 0 : O_CREAT);
  fd_.Reset(::open(path.c_str(), flags, 0666));
  if (!fd_.valid()) {
    return false;
  }
  fileSize = 0;
  struct stat info {};
  if (exists && ::fstat(fd_.get(), &info) == 0) {
    fileSize = static_cast<int64_t>(info.st_size);
  }
  path_ = path;
  position_ = 0;
  return true;
}

bool SaveFile::Write(const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = ::pwrite(fd_.get(), bytes, count, static_cast<off_t>(position_));
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
    position_ += written;
  }
  return true;
}

bool SaveFile::NoteReceived(size_t count, int64_t now) {
  bytesSinceReopen_ += static_cast<int64_t>(count);
  if (bytesSinceReopen_ <= kReopenAfterBytes || reopenTime_ + kReopenAfterSeconds >= now) {
    return true;
  }
  // Closing hands everything written so far to the disk's keeping; writing
  // goes on at the same position, which need not be the end of the file.
  if (fd_.Close() != 0) {
    return false;
  }
  fd_.Reset(::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  bytesSinceReopen_ = 0;
  reopenTime_ = now;
  return fd_.valid();
}

bool SaveFile::TruncateAtPosition() {
  // A device or pipe named as the save file has no length to cut.
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) {
    return false;
  }
  return !S_ISREG(info.st_mode) || ::ftruncate(fd_.get(), static_cast<off_t>(position_)) == 0;
}

}  // namespace pellmarsh
