#include "view/rename_old.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/item.h"

namespace pellmarsh {
namespace {

// A rename that fails when the target exists, like the move it stands for.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
  // A file system without the flag: a hard link cannot replace anything either.
  return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
}

}  // namespace

bool RenameOldFile(const std::string& oldPath, const std::string& newPath, UserMessages& messages) {
  if (NamesEqual(newPath, oldPath)) {
    messages.Show(
        {"You didn't edit the filename before pushing Rename.  Go ahead and do that "
         "first.",
         "Pellmarsh: Rename, well... not renamed.", MessageButtons::kOk,
         MessageIcon::kInformation});
    return false;
  }
  if (!RenameWithoutReplacing(oldPath, newPath)) {
    messages.Show({"Couldn't rename " + oldPath + " to " + newPath +
                       ".\r\n\r\nIs it read-only, does the new file exist already, or did you "
                       "try to rename it to a directory that doesn't exist, ...or something "
                       "like that?",
                   "Pellmarsh: Rename Failed", MessageButtons::kOk, MessageIcon::kExclamation});
    return false;
  }
  return true;
}

}  // namespace pellmarsh
