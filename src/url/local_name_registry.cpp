#include "url/local_name_registry.h"

#include <utility>

#include "platform/files.h"
#include "store/keys.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

// When every name tried is blocked by something other than a file (a directory
// that cannot be searched, a name too long, no descriptors left), a different
// suffix will not help: hand out a name and let opening it report the cause
// rather than search forever under the tree lock.
constexpr int kBlockedCandidatesBeforeGivingUp = 100;

// The extension starts at the last "." of the file name; a "." in a directory
// name does not count.
std::pair<std::string, std::string> SplitExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return {path, std::string()};
  }
  return {path.substr(0, dot), path.substr(dot)};
}

}  // namespace

LocalNameRegistry::LocalNameRegistry(Tree& tree) : tree_(tree) {}

void LocalNameRegistry::SeedOnce() {
  if (seeded_) {
    return;
  }
  seeded_ = true;
  for (std::string_view folderName : {folder::kFileList, folder::kFileClip}) {
    Item* folder = tree_.root().FindChild(folderName);
    if (!folder) {
      continue;
    }
    folder->ForEach([this](Item& item) {
      if (item.GetProp(key::kType) == "_url") {
        if (std::string local = item.GetProp(key::kLocal); !local.empty()) {
          taken_.insert(std::move(local));
        }
      }
    });
  }
}

bool LocalNameRegistry::IsFree(const std::string& path) const {
  return !taken_.contains(path) && !FileExists(path);
}

std::string LocalNameRegistry::MakeUniqueLocalPath(const std::string& path) {
  std::lock_guard lock(tree_.lock());
  SeedOnce();
  if (IsFree(path)) {
    taken_.insert(path);
    return path;
  }
  const auto [base, extension] = SplitExtension(path);
  int64_t& counter = suffixCounters_[path];
  int blocked = 0;
  for (;;) {
    ++counter;
    std::string candidate = base + "(" + FormatInteger(counter) + ")" + extension;
    if (taken_.contains(candidate)) {
      continue;
    }
    const FileProbe probe = ProbeFile(candidate);
    if (probe == FileProbe::kAbsent ||
        (probe == FileProbe::kUnusable && ++blocked >= kBlockedCandidatesBeforeGivingUp)) {
      taken_.insert(candidate);
      return candidate;
    }
  }
}

void LocalNameRegistry::Release(const std::string& path) {
  std::lock_guard lock(tree_.lock());
  SeedOnce();
  taken_.erase(path);
}

bool LocalNameRegistry::IsTaken(const std::string& path) {
  std::lock_guard lock(tree_.lock());
  SeedOnce();
  return taken_.contains(path);
}

}  // namespace pellmarsh
