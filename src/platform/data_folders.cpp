#include "platform/data_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/files.h"
#include "platform/program_dir.h"

namespace pellmarsh {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// XDG_DATA_HOME counts only when it is an absolute path; a relative one is ignored.
bool IsAbsolute(const std::string& path) {
  return !path.empty() && path.front() == '/';
}

// One value of user-dirs.dirs: "$HOME/rest" or an absolute path, in quotes.
std::string UserDirsValue(const std::string& line, const std::string& home) {
  const size_t open = line.find('"');
  const size_t close = line.rfind('"');
  if (open == std::string::npos || close <= open) {
    return "";
  }
  std::string value = line.substr(open + 1, close - open - 1);
  if (value.rfind("$HOME", 0) == 0) {
    value = home + value.substr(5);
  }
  while (value.size() > 1 && value.back() == '/') {
    value.pop_back();
  }
  return IsAbsolute(value) ? value : "";
}

// Root passes every write check, so writability alone would put root's data
// in /usr/bin: a portable copy is a folder of the user's own, never a system one.
bool IsUsersProgramFolder(const std::string& programDir, uid_t userId) {
  if (programDir == "/usr" || programDir.starts_with("/usr/")) {
    return false;
  }
  struct stat info {};
  return ::stat(programDir.c_str(), &info) == 0 && info.st_uid == userId &&
         FolderIsWritable(programDir);
}

}  // namespace

UserEnvironment CurrentUserEnvironment() {
  UserEnvironment environment{Env("HOME"), Env("XDG_DATA_HOME"), Env("XDG_CONFIG_HOME"),
                              ::geteuid()};
  if (!IsAbsolute(environment.home)) {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir) {
      environment.home = entry->pw_dir;
    }
  }
  return environment;
}

DataFolders FoldersBesideProgram(const std::string& programDir) {
  return {programDir, programDir, JoinPath(programDir, "download"), true};
}

bool FolderIsWritable(const std::string& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      ::access(directory.c_str(), W_OK | X_OK) != 0) {
    return false;
  }
  // Root passes access() on any folder not mounted read-only.
  return ::geteuid() != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::string UserDownloadDir(const UserEnvironment& environment) {
  const std::string config = IsAbsolute(environment.xdgConfigHome)
                                 ? environment.xdgConfigHome
                                 : JoinPath(environment.home, ".config");
  std::ifstream dirs(JoinPath(config, "user-dirs.dirs"));
  std::string line;
  std::string found;
  while (std::getline(dirs, line)) {
    if (line.rfind("XDG_DOWNLOAD_DIR=", 0) == 0) {
      found = UserDirsValue(line, environment.home);
    }
  }
  return found.empty() ? JoinPath(environment.home, "Downloads") : found;
}

DataFolders ChooseDataFolders(const std::string& programDir, const UserEnvironment& environment) {
  if (IsUsersProgramFolder(programDir, environment.userId) || !IsAbsolute(environment.home)) {
    return FoldersBesideProgram(programDir);
  }
  const std::string dataHome = IsAbsolute(environment.xdgDataHome)
                                   ? environment.xdgDataHome
                                   : JoinPath(environment.home, ".local/share");
  DataFolders folders{programDir, JoinPath(dataHome, "pellmarsh"), UserDownloadDir(environment),
                      false};
  // A failure shows when the instance lock cannot use the folder.
  MakePrivateDirectories(folders.dataDir);
  return folders;
}

}  // namespace pellmarsh
