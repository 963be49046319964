#include "view/link_intake.h"

#include "capture/handed_download.h"
#include "capture/url_item.h"
#include "notify/download_notices.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {

Item* LinkIntake::AddLink(const HandedDownload& download, std::string& problem) {
  problem = UrlProblem(download.url);
  if (!problem.empty()) {
    return nullptr;
  }
  std::optional<Notification> renewed;
  Item* added = nullptr;
  {
    Tree::Access tree(state_.tree);
    Item& list = tree->FindOrCreateChild(folder::kFileList);
    // A fresh link for a download whose link expired goes on with that one.
    if (Item* expired = FindExpiredDownload(list, download)) {
      RenewDownload(download, *expired);
      renewed = RenewedDownloadNotification(tree.root(), *expired);
      added = expired;
    } else {
      std::unique_ptr<Item> item =
          MakeCapturedUrlItem(tree.root(), names_, download.url, clock_.UnixTime());
      ApplyHandedDownload(download, names_, *item);
      // Held until queued: a queue the user cancels (a file in the way) leaves it held.
      item->SetPropInt(key::kStatus, kStatusOnHold);
      added = &list.AddChild(std::move(item));
    }
    state_.listDirty = true;
  }
  if (renewed) {
    desktop_.Show(*renewed);
  }
  return added;
}

std::string LinkIntake::FirstAnswerOf(const std::string& url, int64_t size) {
  Tree::Access tree(state_.tree);
  const Item& list = tree->FindOrCreateChild(folder::kFileList);
  for (int i = list.ChildCount() - 1; i >= 0; --i) {
    const Item& item = *list.ChildAt(i);
    if (item.GetProp(key::kValue) != url && item.GetProp(key::kOriginalValue) != url) {
      continue;
    }
    const int status = item.GetPropInt(key::kStatus);
    const int64_t total = item.GetPropInt64(key::kFileTotal);
    if (status == kStatusFailed || status == kStatusWaitingToRetry) {
      const std::string error = item.GetProp(key::kError);
      return error.empty() ? "The download failed." : error;
    }
    const bool coming = status == kStatusComplete || (status >= kStatusTransferring && total > 0);
    if (coming && size >= 0 && total > 0 && total != size) {
      return "The server sends " + std::to_string(total) + " bytes where the browser got " +
             std::to_string(size) + ".";
    }
    return coming ? "started" : "";
  }
  return "The download is not in Pellmarsh's list.";
}

std::vector<std::string> LinkIntake::AddLinks(const std::vector<std::string>& links) {
  std::vector<HandedDownload> downloads(links.size());
  for (size_t i = 0; i < links.size(); ++i) {
    downloads[i].url = links[i];
  }
  return AddDownloads(downloads);
}

std::vector<std::string> LinkIntake::AddDownloads(const std::vector<HandedDownload>& downloads) {
  bool queue = true;
  {
    Tree::Access tree(state_.tree);
    queue = tree->GetPropInt(setting::kQueueLinks) != 0;
  }
  std::vector<std::string> problems;
  bool added = false;
  for (const HandedDownload& download : downloads) {
    std::string problem;
    Item* item = AddLink(download, problem);
    problems.push_back(std::move(problem));
    if (!item) {
      continue;
    }
    added = true;
    if (queue) {
      commands_.ApplyDirectly(*item, kCommandQueue, false);
    }
  }
  if (added) {
    events_.RaiseEvent(queue ? "QUEUE" : "COPY");
  }
  return problems;
}

}  // namespace pellmarsh
