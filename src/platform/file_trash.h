#pragma once

#include <string>

namespace pellmarsh {

// The desktop's Trash, where deleted files can still be had back.
class FileTrash {
 public:
  virtual ~FileTrash() = default;
  // True when the file's filesystem has a trash the file can be moved into;
  // where it has none, deleting the file loses it for good.
  virtual bool CanTrash(const std::string& path) = 0;
  // True when the file is in the Trash now; false leaves it where it was.
  virtual bool MoveToTrash(const std::string& path) = 0;
};

}  // namespace pellmarsh
