#include "notify/events.h"
#include "store/keys.h"

#include <string>

namespace pellmarsh {

void BuildSoundTable(Item& root) {
  Item& folder = root.FindOrCreateChild(kSoundFolder);
  std::string_view rest = kEventTable;
  for (size_t end = rest.find(';'); end != std::string_view::npos; end = rest.find(';')) {
    const std::string_view entry = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    const size_t comma = entry.find(',');
    const std::string_view name = entry.substr(0, comma);
    const std::string_view description =
        comma == std::string_view::npos ? std::string_view() : entry.substr(comma + 1);
    folder.FindOrCreateChild(name).SetProp(key::kValue, description);
  }
}

void EventRaiser::RaiseEvent(std::string_view name) {
  std::string file;
  {
    Tree::Access tree(tree_);
    if (tree->GetPropInt(setting::kSoundOn) == 0) {
      return;
    }
    const Item* folder = tree->FindChild(kSoundFolder);
    const Item* event = folder ? folder->FindChild(name) : nullptr;
    if (!event) {
      return;
    }
    file = event->GetProp(key::kFile);
  }
  if (!file.empty()) {
    player_.Play(file);
  }
}

}  // namespace pellmarsh
