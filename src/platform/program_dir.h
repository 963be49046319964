#pragma once

#include <string>

namespace pellmarsh {

// Directory of the running executable, without a trailing separator.
std::string ProgramDir();

// Joins a directory and a file name with the platform separator.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace pellmarsh
