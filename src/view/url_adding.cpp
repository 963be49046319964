#include "view/url_adding.h"

#include "capture/url_item.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "url/url_globbing.h"

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
  form.rangesMakeItems = true;
  const UrlDialogEnd end = dialog_.RunUrlDialog(form, true, false);
  if (end == UrlDialogEnd::kCancel) {
    return false;
  }
  std::vector<UrlForm> forms{form};
  // The dialog saves only ranges that expand to addresses it can save.
  if (const UrlGlob glob = ExpandUrlGlob(form.url); glob.expands) {
    if (glob.urls.size() > kGlobUrlsToAskAbout &&
        messages_.Show({ManyGlobUrlsQuestion(glob.urls.size()), "Pellmarsh: Add Downloads?",
                        MessageButtons::kYesNo, MessageIcon::kQuestion}) != MessageAnswer::kYes) {
      return false;
    }
    forms = UrlFormRules(state_.tree, names_).ItemForms(form, glob.urls);
  }
  std::vector<Item*> added;
  {
    // In the list before their commands run, so the scheduler's next walk sees them.
    Tree::Access tree(state_.tree);
    Item& list = tree->FindOrCreateChild(folder::kFileList);
    for (const UrlForm& itemForm : forms) {
      auto item = std::make_unique<Item>();
      WriteUrlForm(itemForm, *item);
      item->SetProp(key::kType, "_url");
      added.push_back(&list.AddChild(std::move(item)));
    }
    state_.listDirty = true;
  }
  for (Item* item : added) {
    RunSaveCommand(*item, end);
  }
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
