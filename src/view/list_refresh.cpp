#include "view/list_refresh.h"

#include <algorithm>

#include "store/keys.h"
#include "view/list_rows.h"

namespace pellmarsh {

namespace {

// Worked out only for rows that are written: most rows of a long list are not.
RowContent ContentOf(Item& item, VirusCheckMode virusCheck, const RowTextSettings& settings,
                     int64_t now) {
  const int image = RowImageOf(item, virusCheck);
  RowContent content;
  content.name = item.GetProp(key::kName);
  content.url = UrlText(item);
  content.status = StatusText(item, image, settings, now);
  content.image = image;
  content.progress = RowProgress(item);
  content.size = SizeText(item);
  content.percent = ReceivedPercent(item);
  content.percentText = PercentText(content.percent);
  content.speed = SpeedText(item, settings.bytesPerSecond);
  content.timeLeft = TimeLeftText(item);
  content.connections = ConnectionsText(item);
  content.added = DateTimeText(item.GetPropInt64(key::kCreate));
  content.finished = DateTimeText(item.GetPropInt64(key::kFinish));
  return content;
}

// Rewrites the rows of the changed items among those that change on their
// own; false when one of them has no row, and the whole folder must be walked.
bool RefreshLiveRows(Item& folder, int tab, ListRows& rows, VirusCheckMode virusCheck,
                     const RowTextSettings& settings, int64_t now) {
  bool allShown = true;
  folder.ForEachLive([&](Item& child) {
    if (&child == &folder || !child.changed() ||
        !TabShowsStatus(tab, child.GetPropInt(key::kStatus))) {
      return;
    }
    if (rows.UpdateRow(&child, ContentOf(child, virusCheck, settings, now))) {
      child.ClearChanged();
    } else {
      allShown = false;
    }
  });
  return allShown;
}

}  // namespace

const std::string& CellText(const RowContent& content, int column) {
  switch (column) {
    case kColumnName:
      return content.name;
    case kColumnUrl:
      return content.url;
    case kColumnStatus:
      return content.status;
    case kColumnSize:
      return content.size;
    case kColumnProgress:
      return content.percentText;
    case kColumnSpeed:
      return content.speed;
    case kColumnTimeLeft:
      return content.timeLeft;
    case kColumnConnections:
      return content.connections;
    case kColumnAdded:
      return content.added;
    case kColumnFinished:
      return content.finished;
    default: {
      static const std::string kNone;
      return kNone;
    }
  }
}

RefreshOutcome RefreshRows(Item& root, int tab, ListRows& rows, RefreshFlags flags, int64_t now) {
  RefreshOutcome outcome;
  flags.listDirty = false;
  const VirusCheckMode virusCheck = root.GetPropEnum(setting::kVirusCheck);
  const RowTextSettings textSettings{virusCheck, root.GetPropInt(setting::kBps) != 0};
  if (root.FindChild(folder::kTypeList) == nullptr) {
    outcome.typeListMissing = true;
    return outcome;
  }
  Item& folder = root.FindOrCreateChild(TabFolder(tab));
  outcome.shownCount = folder.ChildCount();
  const ListRows::Walk walk{&folder, tab, folder.childChanges(), folder.quietChildChanges()};
  if (!flags.sortPending && rows.lastWalk.folder == &folder && rows.lastWalk.tab == tab &&
      rows.lastWalk.quietChildChanges == walk.quietChildChanges &&
      (rows.lastWalk.childChanges == walk.childChanges ||
       RefreshLiveRows(folder, tab, rows, virusCheck, textSettings, now))) {
    rows.lastWalk = walk;
    return outcome;
  }
  std::vector<NewRow> inserted;
  for (int index = folder.ChildCount() - 1; index >= 0; --index) {
    Item& child = *folder.ChildAt(index);
    if (!TabShowsStatus(tab, child.GetPropInt(key::kStatus))) {
      continue;
    }
    const bool known = rows.TouchRow(&child);
    if (known && !child.changed()) {
      continue;
    }
    RowContent content = ContentOf(child, virusCheck, textSettings, now);
    if (known) {
      rows.UpdateRow(&child, content);
    } else {
      inserted.push_back({&child, index, std::move(content)});
    }
    child.ClearChanged();
  }
  if (!inserted.empty()) {
    std::reverse(inserted.begin(), inserted.end());
    rows.InsertRows(std::move(inserted));
    flags.sortPending = true;
  }
  rows.RemoveUntouchedRows();
  if (flags.sortPending) {
    rows.SortRows(TabSortSetting(root, tab));
    flags.sortPending = false;
  }
  rows.lastWalk = {&folder, tab, folder.childChanges(), folder.quietChildChanges()};
  return outcome;
}

}  // namespace pellmarsh
