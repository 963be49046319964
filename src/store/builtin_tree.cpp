#include "store/builtin_tree.h"

#include <initializer_list>
#include <memory>

#include "platform/files.h"
#include "platform/program_dir.h"
#include "store/keys.h"

namespace pellmarsh {
namespace {

struct TypeRow {
  const char* name;
  const char* value;
  int isPublic;
  int icon;
};

constexpr TypeRow kTypeTable[] = {
    {"_item", "Root Item Functionality", 0, 1},
    {"_folder", "Folder, holds other items", 0, 0},
    {"_url", "Internet File", 1, 2},
    {"_type", "Definition of a type", 0, 1},
};

Item& FindOrAppendFolder(Item& root, std::string_view name, const char* description) {
  if (Item* found = root.FindByName(name)) {
    return *found;
  }
  auto folder = std::make_unique<Item>();
  folder->SetProp(key::kType, "_folder");
  folder->SetProp(key::kName, name);
  folder->SetProp(key::kValue, description);
  return root.AddChild(std::move(folder));
}

// The entries are made only with the folder, so a folder the user emptied stays empty.
void MakeEntryFolderOnce(Item& root, std::string_view name,
                         std::initializer_list<const char*> entries) {
  if (root.FindByName(name)) {
    return;
  }
  Item& folder = root.FindOrCreateChild(name);
  for (const char* entry : entries) {
    folder.FindOrCreateChild(entry);
  }
}

constexpr const char* kDefaultClipFileTypes =
    "7z apk appimage avi bin bz2 deb dmg epub exe flac gz img iso jar m4a mkv mov mp3 mp4 msi "
    "ogg pdf rar rpm tar tgz torrent wav webm xz zip zst";

void SetDefaultIfEmpty(Item& root, PropKey key, int value) {
  if (root.GetProp(key).empty()) {
    root.SetPropInt(key, value);
  }
}

void SetDefaultIfEmpty(Item& root, PropKey key, double value) {
  if (root.GetProp(key).empty()) {
    root.SetPropDouble(key, value);
  }
}

}  // namespace

void SetUpRootAndFolders(Item& root, const std::string& programDir) {
  root.SetProp(key::kName, "Top Folder");
  root.SetProp(key::kValue, "You're not supposed to see this.");
  root.SetProp(key::kType, "_folder");
  root.SetProp(key::kRunDirectory, programDir);

  Item& typeList =
      FindOrAppendFolder(root, folder::kTypeList, "Listing of types supported, for internal use.");
  for (const TypeRow& row : kTypeTable) {
    Item* entry = typeList.FindByName(row.name);
    if (!entry) {
      entry = &typeList.AddChild(std::make_unique<Item>());
    }
    entry->SetProp(key::kName, row.name);
    entry->SetProp(key::kValue, row.value);
    entry->SetProp(key::kType, "_type");
    entry->SetPropInt(key::kPublic, row.isPublic);
    entry->SetPropInt(key::kIcon, row.icon);
  }

  FindOrAppendFolder(root, folder::kFileList, "List of files to download.");
  FindOrAppendFolder(root, folder::kFileLog, "List of files already downloaded.");
}

void SetUpDefaultsAndSettings(Item& root, const std::string& programDir) {
  SetUpDefaultsAndSettingsWithDownloads(root, JoinPath(programDir, "download"));
}

void SetUpDefaultsAndSettingsWithDownloads(Item& root, const std::string& downloadDir) {
  Item& hostDefaults = root.FindOrCreateChild(folder::kHostDefaults);
  if (!hostDefaults.FindByName(kDefaultHostEntry)) {
    Item& entry = hostDefaults.FindOrCreateChild(kDefaultHostEntry);
    // The user's download folder may lie in folders that do not exist yet. A
    // failure shows on the first download.
    MakePrivateDirectories(downloadDir);
    entry.SetProp(key::kLocalPath, downloadDir);
    entry.SetProp(key::kLogin, kAnonymousLogin);
    entry.SetProp(key::kPassword, kAnonymousPassword);
  }

  MakeEntryFolderOnce(root, folder::kFtpText, {"TXT", "TEXT", "HTML", "HTM"});
  // Older data files may also hold "text/htm", which no server sends; it does no harm there.
  MakeEntryFolderOnce(root, folder::kHttpText, {"text/plain", "text/html"});

  SetDefaultIfEmpty(root, setting::kMinTray, 1);
  // Limits are stored in kilobytes per minute. Full speed has no limit; the
  // background gets 500 kB/s, which a broadband user does not take for a stall.
  SetDefaultIfEmpty(root, setting::kHighSpeed, 0.0);
  SetDefaultIfEmpty(root, setting::kLowSpeed, 500'000 * 60 / 1024.0);
  SetDefaultIfEmpty(root, setting::kBps, 1);
  SetDefaultIfEmpty(root, setting::kGoFast, 0);
  SetDefaultIfEmpty(root, setting::kOwnsFiles, 1);
  SetDefaultIfEmpty(root, setting::kDelLog, 1);
  SetDefaultIfEmpty(root, setting::kRetryShort, 1);
  SetDefaultIfEmpty(root, setting::kConnectionsPerDownload, 4);
  SetDefaultIfEmpty(root, setting::kConnectionsPerServer, 4);
  SetDefaultIfEmpty(root, setting::kSegmentMinSize, 4 * 1024 * 1024);
  SetDefaultIfEmpty(root, setting::kCheckNewVersion, 1);
  SetDefaultIfEmpty(root, setting::kNotifyOn, 1);
  SetDefaultIfEmpty(root, setting::kQueueLinks, 1);
  SetDefaultIfEmpty(root, setting::kKeepAwake, 1);
  SetDefaultIfEmpty(root, setting::kDownloadMetered, 0);
  // A copied link with a secret in it (a password reset, a signed page) is
  // no file; only Clip-and-Go's users keep recording every link.
  SetDefaultIfEmpty(
      root, setting::kClipWatch,
      static_cast<int>(root.GetPropInt(setting::kClipAndGo) != 0 ? ClipboardWatch::kAsk
                                                                 : ClipboardWatch::kFileLinks));
  if (root.GetProp(setting::kClipFileTypes).empty()) {
    root.SetProp(setting::kClipFileTypes, kDefaultClipFileTypes);
  }
  SetDefaultIfEmpty(root, setting::kProxyMode, static_cast<int>(ProxyMode::kSystem));
  if (root.GetProp(setting::kMaxCons).empty()) {
    root.SetPropInt(setting::kMaxCons, 2);
    root.SetPropInt(setting::kMaxConEnable, 1);
  }
}

void SetUpFreshDataFile(Item& root) {
  root.SetPropInt(setting::kGoFast, 1);
}

bool MarkFirstStart(Item& root, int64_t now) {
  if (!root.GetProp(setting::kFirstStart).empty()) {
    return false;
  }
  root.SetPropInt64(setting::kFirstStart, now);
  return true;
}

}  // namespace pellmarsh
