#include "platform/program_dir.h"

#include <filesystem>
#include <system_error>

namespace pellmarsh {

std::string ProgramDir() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return std::filesystem::current_path(error).string();
  }
  std::string directory = executable.parent_path().string();
  while (directory.size() > 1 && directory.back() == '/') {
    directory.pop_back();
  }
  return directory;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

}  // namespace pellmarsh
