#include "url/local_name_registry.h"

#include <algorithm>
#include <utility>

#include "platform/files.h"
#include "store/item_status.h"
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

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// At most `limit` bytes of `text`, backing off over the rest of a UTF-8
// sequence (at most three bytes, so bytes that are no UTF-8 still keep a name).
std::string_view CutAtCharacter(std::string_view text, size_t limit) {
  if (text.size() <= limit) {
    return text;
  }
  size_t cut = limit;
  while (cut > 0 && limit - cut < 3 && IsUtf8Continuation(text[cut])) {
    --cut;
  }
  return text.substr(0, cut);
}

// Extensions longer than this are part of the name and may be cut.
constexpr size_t kLongestKeptExtension = 32;

// `base` + `suffix` + `extension` with the file name part of `base` cut so
// the file name stays within the limit.
std::string JoinWithin(std::string_view base, std::string_view suffix, std::string_view extension) {
  const size_t slash = base.rfind('/');
  const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t room =
      kLongestFinalName - std::min(kLongestFinalName, suffix.size() + extension.size());
  std::string joined(base.substr(0, nameStart));
  joined.append(CutAtCharacter(base.substr(nameStart), room));
  joined.append(suffix);
  joined.append(extension);
  return joined;
}

// Both names a download may write under must be free.
FileProbe ProbeBothNames(const std::string& path) {
  const FileProbe probe = ProbeFile(path);
  return probe == FileProbe::kAbsent ? ProbeFile(UnfinishedPathOf(path)) : probe;
}

}  // namespace

std::string UnfinishedPathOf(std::string_view local) {
  return std::string(local).append(kUnfinishedSuffix);
}

std::string ShortenFileName(std::string_view name, size_t limit) {
  if (name.size() <= limit) {
    return std::string(name);
  }
  std::string_view extension;
  if (const size_t dot = name.rfind('.');
      dot != std::string_view::npos && dot > 0 && name.size() - dot <= kLongestKeptExtension) {
    extension = name.substr(dot);
  }
  const std::string_view stem = name.substr(0, name.size() - extension.size());
  return std::string(CutAtCharacter(stem, limit - std::min(limit, extension.size())))
      .append(extension);
}

LocalNameRegistry::LocalNameRegistry(Tree& tree) : tree_(tree) {}

void LocalNameRegistry::SeedOnce() {
  if (seeded_) {
    return;
  }
  seeded_ = true;
  Item* folder = tree_.root().FindChild(folder::kFileList);
  if (!folder) {
    return;
  }
  folder->ForEach([this](Item& item) REQUIRES(tree_.lock()) {
    if (item.GetProp(key::kType) == "_url" && item.GetPropInt(key::kStatus) != kStatusComplete) {
      if (std::string local = item.GetProp(key::kLocal); !local.empty()) {
        taken_.insert(std::move(local));
      }
    }
  });
}

bool LocalNameRegistry::IsFree(const std::string& path) const {
  return !taken_.contains(path) && ProbeBothNames(path) == FileProbe::kAbsent;
}

std::string LocalNameRegistry::MakeUniqueLocalPath(const std::string& path) {
  TreeLockGuard lock(tree_.lock());
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
    std::string candidate = JoinWithin(base, "(" + FormatInteger(counter) + ")", extension);
    if (taken_.contains(candidate)) {
      continue;
    }
    const FileProbe probe = ProbeBothNames(candidate);
    if (probe == FileProbe::kAbsent ||
        (probe == FileProbe::kUnusable && ++blocked >= kBlockedCandidatesBeforeGivingUp)) {
      taken_.insert(candidate);
      return candidate;
    }
  }
}

void LocalNameRegistry::Release(const std::string& path) {
  TreeLockGuard lock(tree_.lock());
  SeedOnce();
  taken_.erase(path);
}

bool LocalNameRegistry::IsTaken(const std::string& path) {
  TreeLockGuard lock(tree_.lock());
  SeedOnce();
  return taken_.contains(path);
}

}  // namespace pellmarsh
