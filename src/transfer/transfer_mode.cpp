#include "transfer/transfer_mode.h"

#include "store/keys.h"

namespace pellmarsh {

TransferMode ChooseTransferMode(int transferCode, const std::string& extension, Item& settings) {
  if (transferCode == 1) {
    return {false, "User forced binary transfer."};
  }
  if (transferCode != 0) {
    return {true, "User forced text transfer."};
  }
  if (settings.GetPropInt(setting::kConvertLineEnds) == 0) {
    return {false, "Binary transfer."};
  }
  const bool listed =
      !extension.empty() && settings.FindOrCreateChild(folder::kFtpText).FindByName(extension);
  return listed ? TransferMode{true, "Text transfer cued by file extension."}
                : TransferMode{false, "Binary transfer."};
}

}  // namespace pellmarsh
