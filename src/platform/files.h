#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellmarsh {

// Why opening or writing a file failed: a cause category and the errno.
struct FileFailure {
  int cause = 0;
  int osError = 0;
};

// Cause categories shown to the user beside the errno.
enum FileFailureCause : int {
  kFailureGeneric = 1,
  kFailureNotFound = 2,
  kFailureBadPath = 3,
  kFailureTooManyOpenFiles = 4,
  kFailureAccessDenied = 5,
  kFailureHardIo = 10,
  kFailureDiskFull = 13,
};

FileFailure FailureFromErrno(int error);

// The directory a file path lies in: "." for a bare name, "/" for one at the root.
std::string DirectoryOf(const std::string& path);

// Makes each missing folder of the path with mode 0700, as the XDG base
// directories are to be made; existing ones keep their mode. False when the
// path could not be made whole.
bool MakePrivateDirectories(const std::string& path);

struct FileContents {
  std::optional<std::string> bytes;  // nothing when the file could not be read
  int osError = 0;                   // errno of the failure; ENOENT when absent
};

FileContents ReadWholeFile(const std::string& path);

// What opening a path for reading and writing found.
enum class FileProbe {
  kAbsent,    // nothing of that name is there
  kOpened,    // a file that this program could write
  kUnusable,  // something is there or in the way: locked, read-only, a directory...
};

FileProbe ProbeFile(const std::string& path);

// The program's one test for "a file is in the way": only a name that is not
// there at all counts as absent, so a locked or read-only file counts as present.
bool FileExists(const std::string& path);

// Renames `from` to `to` as one step, never over a name that exists: 0, or
// the errno (EEXIST when `to` is taken).
int RenameWithoutReplacing(const std::string& from, const std::string& to);

// Replaces a file's contents as one step: a crash part-way leaves the old file
// or the new one, never a mixture or a truncated file.
class FileReplacer {
 public:
  virtual ~FileReplacer() = default;
  virtual std::optional<FileFailure> Replace(const std::string& path, std::string_view bytes) = 0;
};

// Writes a temporary file beside the target with the given mode, flushes it to
// disk and renames it over the target.
class AtomicFileReplacer final : public FileReplacer {
 public:
  explicit AtomicFileReplacer(unsigned mode) : mode_(mode) {}
  std::optional<FileFailure> Replace(const std::string& path, std::string_view bytes) override;

 private:
  unsigned mode_;
};

}  // namespace pellmarsh
