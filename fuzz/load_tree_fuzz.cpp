// Any bytes in the data file's place must load without a crash, every log
// must read (packed bytes unpacked), and what was kept must save to bytes that
// load back to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "store/keys.h"
#include "store/tree_codec.h"

namespace {

bool SameTree(const pellmarsh::Item& a, const pellmarsh::Item& b) {
  if (a.AllProps() != b.AllProps() || a.ChildCount() != b.ChildCount()) {
    return false;
  }
  for (int index = 0; index < a.ChildCount(); ++index) {
    if (!SameTree(*a.ChildAt(index), *b.ChildAt(index))) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pellmarsh::Item root;
  pellmarsh::LoadTree(root, std::string_view(reinterpret_cast<const char*>(data), size));
  root.ForEach([](pellmarsh::Item& item) { item.GetProp(pellmarsh::key::kLog); });
  pellmarsh::Item again;
  if (!pellmarsh::LoadTree(again, pellmarsh::SaveTree(root)).complete || !SameTree(root, again)) {
    std::abort();
  }
  return 0;
}
