#include "view/list_refresh.h"

#include <algorithm>

#include "store/keys.h"
#include "view/list_rows.h"

namespace pellmarsh {

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
  if (!flags.sortPending && rows.lastWalk == ListRows::Walk{&folder, tab, folder.childChanges()}) {
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
    // Worked out only for rows that are written: most rows of a long list are not.
    const int image = RowImageOf(child, virusCheck);
    RowContent content{child.GetProp(key::kName), UrlText(child),
                       StatusText(child, image, textSettings, now), image, RowProgress(child)};
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
    rows.SortRows(root.GetPropInt(setting::TabSort(tab)));
    flags.sortPending = false;
  }
  rows.lastWalk = {&folder, tab, folder.childChanges()};
  return outcome;
}

}  // namespace pellmarsh
