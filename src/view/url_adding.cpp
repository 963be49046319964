#include "view/url_adding.h"

#include "capture/url_item.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {

std::array<SaveButton, 3> SaveButtons(bool complete) {
  if (complete) {
    return {{{"queueSaveButton", "Save, &No Fetch", UrlDialogEnd::kHold},
             {"fetchSaveButton", "Save and &Fetch", UrlDialogEnd::kFetch},
             {"holdSaveButton", "Save, &Queued", UrlDialogEnd::kQueue}}};
  }
  return {{{"queueSaveButton", "Save and &Queue", UrlDialogEnd::kQueue},
           {"fetchSaveButton", "Save and &Fetch", UrlDialogEnd::kFetch},
           {"holdSaveButton", "Save and &Hold", UrlDialogEnd::kHold}}};
}

void UrlAdding::RunSaveCommand(Item& item, UrlDialogEnd end) {
  const ItemCommand command = end == UrlDialogEnd::kFetch  ? kCommandStartNow
                              : end == UrlDialogEnd::kHold ? kCommandStop
                                                           : kCommandQueue;
  commands_.ApplyDirectly(item, command, true);
}

UrlDialogEnd UrlAdding::EditUrlItem(Item& item) {
  UrlForm form;
  bool complete = false;
  {
    Tree::Access tree(state_.tree);
    form = ReadUrlForm(item);
    complete = item.GetPropInt(key::kStatus) == kStatusComplete;
  }
  const UrlDialogEnd end = dialog_.RunUrlDialog(form, false, complete);
  if (end == UrlDialogEnd::kCancel) {
    return end;
  }
  {
    Tree::Access tree(state_.tree);
    WriteUrlForm(form, item);
    state_.listDirty = true;
  }
  RunSaveCommand(item, end);
  return end;
}

bool UrlAdding::DownloadTypedUrl(const std::string& urlBoxText) {
  UrlForm form;
  form.url = urlBoxText;
  const UrlDialogEnd end = dialog_.RunUrlDialog(form, true, false);
  if (end == UrlDialogEnd::kCancel) {
    return false;
  }
  Item* added = nullptr;
  {
    // In the list before its command runs, so the scheduler's next walk sees it.
    Tree::Access tree(state_.tree);
    auto item = std::make_unique<Item>();
    WriteUrlForm(form, *item);
    item->SetProp(key::kType, "_url");
    added = &tree->FindOrCreateChild(folder::kFileList).AddChild(std::move(item));
    state_.listDirty = true;
  }
  RunSaveCommand(*added, end);
  return true;
}

bool UrlAdding::AddDroppedUrl(const std::string& text) {
  Item* added = nullptr;
  {
    Tree::Access tree(state_.tree);
    std::unique_ptr<Item> item = MakeCapturedUrlItem(tree.root(), names_, text, clock_.UnixTime());
    if (!item) {
      return false;
    }
    item->SetPropInt(key::kStatus, kStatusClipped);
    added = &tree->FindOrCreateChild(folder::kFileList).AddChild(std::move(item));
  }
  commands_.ApplyDirectly(*added, kCommandQueue, false);
  return true;
}

int UrlAdding::AddDroppedTexts(const std::vector<std::string>& texts) {
  int added = 0;
  for (const std::string& text : texts) {
    added += AddDroppedUrl(text) ? 1 : 0;
  }
  return added;
}

}  // namespace pellmarsh
