#pragma once

#include <sys/types.h>

#include <string>

namespace pellmarsh {

// Where this run keeps its data, decided once at start.
struct DataFolders {
  std::string programDir;   // the program and its read-me; the root's "rundirectory"
  std::string dataDir;      // pmarsh.dat and its lock
  std::string downloadDir;  // where new hosts download by default
  bool besideProgram = true;
};

// What the choice reads from the user's session; empty when unset.
struct UserEnvironment {
  std::string home;
  std::string xdgDataHome;
  std::string xdgConfigHome;
  uid_t userId = static_cast<uid_t>(-1);  // the effective user; nobody's until set
};

UserEnvironment CurrentUserEnvironment();

// A portable copy or a build: everything beside the program.
DataFolders FoldersBesideProgram(const std::string& programDir);

// Beside the program when its folder is the user's own and writable, and not
// a system folder under /usr; otherwise the user's $XDG_DATA_HOME/pellmarsh
// (created 0700) and the user's download folder.
DataFolders ChooseDataFolders(const std::string& programDir, const UserEnvironment& environment);

// True when the folder's permissions let this process write into it. Root
// honours the permission bits too, so a folder made read-only stays unused.
bool FolderIsWritable(const std::string& directory);

// The user's download folder as xdg-user-dir names it (from user-dirs.dirs),
// else ~/Downloads.
std::string UserDownloadDir(const UserEnvironment& environment);

}  // namespace pellmarsh
