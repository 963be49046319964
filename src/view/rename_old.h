#pragma once

#include <string>

#include "platform/user_messages.h"

namespace pellmarsh {

// "Re&name Old" of the file-exists dialog: moves the existing file out of the
// way to the name the user typed. Tells the user why when it does not (name
// not edited, or the rename failed) and returns false; an existing file at the
// new name is never replaced.
bool RenameOldFile(const std::string& oldPath, const std::string& newPath, UserMessages& messages);

}  // namespace pellmarsh
