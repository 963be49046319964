#include "app/upgrade_check.h"

#include "capture/url_item.h"
#include "platform/program_version.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "url/url_parser.h"

namespace pellmarsh {
namespace {

constexpr std::string_view kMarker = "Current Version: [";

}  // namespace

std::string UpgradeUrl(std::string_view base, UpgradeKind kind) {
  while (!base.empty() && base.back() == '/') {
    base.remove_suffix(1);
  }
  if (base.empty()) {
    return {};
  }
  const std::string_view path =
      kind == UpgradeKind::kProgram ? "/pellmarsh/pellmarsh.exe" : "/pellmarsh/upgradecheck.html";
  // The site is typed on the settings page like any other URL.
  return ExpandTypedUrl(std::string(base)) + std::string(path);
}

Item* StartUpgradeDownload(Item& root, LocalNameRegistry& names, int64_t now, UpgradeKind kind) {
  const std::string url = UpgradeUrl(root.GetProp(setting::kUpgradeUrl), kind);
  if (url.empty()) {
    return nullptr;
  }
  std::unique_ptr<Item> item = MakeCapturedUrlItem(root, names, url, now);
  if (!item) {
    return nullptr;
  }
  item->SetPropInt(key::kAutoUpdate, static_cast<int>(kind));
  item->SetPropInt(key::kStatus, kStatusQueued);
  return &root.FindOrCreateChild(folder::kFileList).AddChild(std::move(item));
}

std::optional<std::string> NewestVersionOffered(std::istream& page) {
  std::optional<std::string> newest;
  std::string line;
  while (std::getline(page, line)) {
    const size_t marker = line.find(kMarker);
    if (marker == std::string::npos) {
      continue;
    }
    const size_t start = marker + kMarker.size();
    const size_t end = line.find(']', start);
    if (end == std::string::npos) {
      continue;
    }
    // std::string compares as unsigned bytes: "1.10" sorts before "1.2d".
    std::string offered = line.substr(start, end - start);
    if (offered > kProgramVersion && (!newest || offered > *newest)) {
      newest = std::move(offered);
    }
  }
  return newest;
}

}  // namespace pellmarsh
