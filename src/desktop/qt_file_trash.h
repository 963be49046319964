#pragma once

#include "platform/file_trash.h"

namespace pellmarsh {

// The freedesktop.org Trash through QFile::moveToTrash.
class QtFileTrash final : public FileTrash {
 public:
  // Finds the trash QFile::moveToTrash would choose, without making it, and
  // asks whether the file can be renamed into it: that move never copies.
  bool CanTrash(const std::string& path) override;
  bool MoveToTrash(const std::string& path) override;
};

}  // namespace pellmarsh
