#include "support/program_copy.h"

#include <chrono>
#include <filesystem>

#include "store/builtin_tree.h"
#include "store/keys.h"
#include "store/tree_codec.h"
#include "support/wait.h"

namespace pellmarsh::testing {

void CopyProgramWithFastDataFile(const TempDir& dir, const std::string& program) {
  std::filesystem::copy_file(program, dir.File("pellmarsh"));
  std::filesystem::permissions(dir.File("pellmarsh"), std::filesystem::perms::owner_all);
  Item root;
  MarkFirstStart(root, 1765000000);
  root.SetPropInt(setting::kGoFast, 1);
  root.SetProp(setting::kHighSpeed, "10000000.000000");
  WriteFile(dir.File("pmarsh.dat"), SaveTree(root));
}

bool DownloadedBeside(const TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string file = dir.File("download/" + name);
  return WaitFor([&] { return FileExistsOnDisk(file) && ReadFile(file) == bytes; },
                 std::chrono::seconds(30), std::chrono::milliseconds(50));
}

}  // namespace pellmarsh::testing
