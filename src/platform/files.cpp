#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/unique_fd.h"

namespace pellmarsh {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakePrivateDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
    if (slash == std::string::npos) {
      return true;
    }
  }
}

FileFailure FailureFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return {kFailureNotFound, error};
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return {kFailureBadPath, error};
    case EMFILE:
    case ENFILE:
      return {kFailureTooManyOpenFiles, error};
    case EACCES:
    case EPERM:
    case EROFS:
      return {kFailureAccessDenied, error};
    case EIO:
      return {kFailureHardIo, error};
    case ENOSPC:
    case EDQUOT:
      return {kFailureDiskFull, error};
    default:
      return {kFailureGeneric, error};
  }
}

FileContents ReadWholeFile(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    return {std::nullopt, errno};
  }
  std::string bytes;
  struct stat info {};
  if (::fstat(file.get(), &info) == 0 && info.st_size > 0) {
    bytes.reserve(static_cast<size_t>(info.st_size));
  }
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return {std::nullopt, errno};
    }
    if (got == 0) {
      return {std::move(bytes), 0};
    }
    bytes.append(chunk, static_cast<size_t>(got));
  }
}

FileProbe ProbeFile(const std::string& path) {
  // The system would stop reading at the NUL and probe some other name.
  if (path.find('\0') != std::string::npos) {
    return FileProbe::kUnusable;
  }
  int fd;
  do {
    // Non-blocking so that a FIFO or device in the way cannot stall the caller.
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    ::close(fd);
    return FileProbe::kOpened;
  }
  return errno == ENOENT ? FileProbe::kAbsent : FileProbe::kUnusable;
}

bool FileExists(const std::string& path) {
  return ProbeFile(path) != FileProbe::kAbsent;
}

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  // A file system without the flag: a hard link fails on a taken name as
  // surely, and the old name then goes.
  if (::link(from.c_str(), to.c_str()) != 0) {
    return errno;
  }
  ::unlink(from.c_str());
  return 0;
}

std::optional<FileFailure> AtomicFileReplacer::Replace(const std::string& path,
                                                       std::string_view bytes) {
  const std::string temporary = path + ".new";
  UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                       static_cast<mode_t>(mode_)));
  if (file.get() < 0) {
    return FailureFromErrno(errno);
  }
  // A leftover temporary from a crash may carry wider permissions.
  if (::fchmod(file.get(), static_cast<mode_t>(mode_)) != 0 || !WriteAll(file.get(), bytes) ||
      ::fsync(file.get()) != 0 || file.Close() != 0 ||
      ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return FailureFromErrno(error);
  }
  // Make the rename itself durable; a failure here leaves a complete file either way.
  UniqueFd directory(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) {
    ::fsync(directory.get());
  }
  return std::nullopt;
}

}  // namespace pellmarsh
