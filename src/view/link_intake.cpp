#include "view/link_intake.h"

#include "capture/url_item.h"
#include "store/item_status.h"
#include "store/keys.h"

namespace pellmarsh {

Item* LinkIntake::AddLink(const std::string& link, std::string& problem) {
  problem = UrlProblem(link);
  if (!problem.empty()) {
    return nullptr;
  }
  Tree::Access tree(state_.tree);
  std::unique_ptr<Item> item = MakeCapturedUrlItem(tree.root(), names_, link, clock_.UnixTime());
  // Held until queued: a queue the user cancels (a file in the way) leaves it held.
  item->SetPropInt(key::kStatus, kStatusOnHold);
  state_.listDirty = true;
  return &tree->FindOrCreateChild(folder::kFileList).AddChild(std::move(item));
}

std::vector<std::string> LinkIntake::AddLinks(const std::vector<std::string>& links) {
  bool queue = true;
  {
    Tree::Access tree(state_.tree);
    queue = tree->GetPropInt(setting::kQueueLinks) != 0;
  }
  std::vector<std::string> problems;
  bool added = false;
  for (const std::string& link : links) {
    std::string problem;
    Item* item = AddLink(link, problem);
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
