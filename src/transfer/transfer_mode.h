#pragma once

#include <string>

#include "store/item.h"

namespace pellmarsh {

struct TransferMode {
  bool textMode = false;
  const char* logLine = "";
};

// Text or binary from the item's "transfercode" (0 automatic, 1 binary, other
// text) and, when automatic, from whether the URL's extension is listed in the
// settings' "nkw-ftptext" folder (made empty when missing).
TransferMode ChooseTransferMode(int transferCode, const std::string& extension, Item& settings);

}  // namespace pellmarsh
