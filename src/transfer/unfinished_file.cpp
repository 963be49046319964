#include "transfer/unfinished_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/segment_map.h"
#include "url/local_naming.h"

namespace pellmarsh {
namespace {

// Each try finds a name free that a file took since: a few are plenty.
constexpr int kPlacementTries = 10;

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// A device or pipe named as the save file (/dev/null, to time a download)
// takes the bytes itself: it is never unfinished, and no file may replace it.
bool IsDevice(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 &&
         (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode));
}

}  // namespace

std::string UnfinishedFileOf(const Item& item) {
  const std::string local = item.GetProp(key::kLocal);
  return IsDevice(local) ? local : UnfinishedPathOf(local);
}

std::string ItemFileOf(const Item& item) {
  const std::string local = item.GetProp(key::kLocal);
  if (item.GetPropInt(key::kStatus) == kStatusComplete || local.empty()) {
    return local;
  }
  const std::string unfinished = UnfinishedPathOf(local);
  return FileExists(unfinished) ? unfinished : local;
}

void MoveBytesAside(const Item& item) {
  const std::string local = item.GetProp(key::kLocal);
  // Only a file of our own: a link there points at someone else's.
  struct stat info {};
  if (!local.empty() && ::lstat(local.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    RenameWithoutReplacing(local, UnfinishedPathOf(local));
  }
}

void MoveOlderDownloadsAside(Item& root) {
  Item* list = root.FindChild(folder::kFileList);
  if (!list) {
    return;
  }
  for (int i = 0; i < list->ChildCount(); ++i) {
    const Item& item = *list->ChildAt(i);
    if (item.GetPropInt(key::kStatus) != kStatusComplete && item.GetPropInt(key::kResume) != 0) {
      MoveBytesAside(item);
    }
  }
}

void TakeNewAddress(Item& item, const std::string& url) {
  if (url == item.GetProp(key::kValue)) {
    return;
  }
  item.SetProp(key::kValue, url);
  item.SetProp(key::kOtherFile, "");
  item.SetProp(key::kRefreshedTotal, "");
  const std::optional<SegmentMap> map = SegmentMap::Parse(item.GetProp(key::kSegments));
  const int64_t total = map ? map->total : item.GetPropInt64(key::kFileTotal);
  struct stat info {};
  if (item.GetPropInt(key::kStatus) == kStatusComplete || total <= 0 ||
      ::stat(ItemFileOf(item).c_str(), &info) != 0 || info.st_size == 0) {
    return;
  }
  item.SetPropInt64(key::kRefreshedTotal, total);
  item.SetPropInt(key::kResume, 1);
}

void ForgetHeldBytes(Item& item) {
  const std::string unfinished = UnfinishedFileOf(item);
  struct stat info {};
  if (::lstat(unfinished.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ::unlink(unfinished.c_str());
  }
  for (PropKey key :
       {key::kOtherFile, key::kRefreshedTotal, key::kSegments, key::kFileTotal, key::kFileValidator,
        key::kSegmentValidator, key::kServerDigest, key::kChecksumMismatch}) {
    item.SetProp(key, "");
  }
  item.SetPropInt(key::kResume, 0);
}

std::string PutFileInPlace(Item& item, LocalNameRegistry& names, std::string& log) {
  const std::string local = item.GetProp(key::kLocal);
  const std::string unfinished = UnfinishedFileOf(item);
  if (unfinished == local) {
    return std::string();
  }
  std::string target = local;
  int error = EEXIST;
  for (int tries = 0; tries < kPlacementTries && error == EEXIST; ++tries) {
    if (tries > 0) {
      target = names.MakeUniqueLocalPath(local);
    }
    error = RenameWithoutReplacing(unfinished, target);
  }
  if (error != 0) {
    return "Couldn't rename " + unfinished + " to " + target + ": " + std::strerror(error);
  }
  if (target != local) {
    names.Release(local);
    MoveItemToLocalPath(item, target);
    log = "Saved as " + NameOf(target) + ": " + NameOf(local) + " was taken.";
  }
  return std::string();
}

}  // namespace pellmarsh
