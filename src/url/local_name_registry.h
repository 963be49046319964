#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/thread_annotations.h"
#include "store/item.h"
#include "store/tree.h"

namespace pellmarsh {

// The longest file name (one path component) the file systems in use accept.
inline constexpr size_t kLongestFileName = 255;

// An unfinished download's bytes stand beside its final name, under the final
// name with this added, so nothing that trusts final names sees a part of a file.
inline constexpr std::string_view kUnfinishedSuffix = ".part";
// The longest final name: its unfinished name must fit too.
inline constexpr size_t kLongestFinalName = kLongestFileName - kUnfinishedSuffix.size();

std::string UnfinishedPathOf(std::string_view local);

// A file name cut to `limit` bytes, its extension kept when short; a cut never
// splits a UTF-8 sequence, so a name that was UTF-8 stays so.
std::string ShortenFileName(std::string_view name, size_t limit = kLongestFinalName);

// The local paths this run has handed out, and for each requested path that
// collided the last "(n)" suffix used. Lives for one run and is never saved.
// Every operation takes the tree lock, so the user-interface and scheduler
// threads may share one registry; a caller may already hold it (a transfer
// step), so the operations carry no EXCLUDES.
class LocalNameRegistry {
 public:
  // Before its first use the registry takes in the "local" of every
  // unfinished URL item in "_filelist" of the root: a queued item whose file
  // does not exist yet still owns its name. A finished one's file speaks for
  // itself, and a clipboard record writes no file.
  explicit LocalNameRegistry(Tree& tree);
  LocalNameRegistry(const LocalNameRegistry&) = delete;
  LocalNameRegistry& operator=(const LocalNameRegistry&) = delete;

  // A path that no other item of this run and no file on disk uses, neither
  // as it is nor as an unfinished download's, recorded as taken: the path itself or "base(n).ext",
  // n counting up per requested path and never going back, even when a lower suffix is freed. A
  // suffix that would make the file name too long shortens the base instead.
  std::string MakeUniqueLocalPath(const std::string& path);

  // Gives a path back when its item or file goes away.
  void Release(const std::string& path);
  bool IsTaken(const std::string& path);

 private:
  void SeedOnce() REQUIRES(tree_.lock());
  bool IsFree(const std::string& path) const REQUIRES(tree_.lock());

  Tree& tree_;
  bool seeded_ GUARDED_BY(tree_.lock()) = false;
  std::unordered_set<std::string> taken_ GUARDED_BY(tree_.lock());
  std::unordered_map<std::string, int64_t> suffixCounters_ GUARDED_BY(tree_.lock());
};

}  // namespace pellmarsh
