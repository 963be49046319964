#include "sample_tree.h"
#include "store/keys.h"

#include <memory>
#include <string>

namespace pellmarsh::bench {

void AddSampleUrlItems(Item& root, int count, int status) {
  Item& list = root.FindOrCreateChild("_filelist");
  const std::string logLine = "00012345678 Receiving data, 65536 bytes in this step...\r\n";
  std::string log;
  while (log.size() < 2048) {
    log += logLine;
  }
  for (int index = 0; index < count; ++index) {
    auto item = std::make_unique<Item>();
    const std::string n = std::to_string(index);
    item->SetProp(key::kName, "file" + n + ".zip");
    item->SetProp(key::kValue, "http://downloads.example.com/pub/releases/file" + n + ".zip");
    item->SetProp(key::kOriginalValue,
                  "http://downloads.example.com/pub/releases/file" + n + ".zip");
    item->SetProp(key::kType, "_url");
    item->SetProp(key::kLocal, "/home/user/pellmarsh/download/file" + n + ".zip");
    item->SetProp(key::kProtocol, "http");
    item->SetProp(key::kHostName, "downloads.example.com");
    item->SetProp(key::kPath, "/pub/releases/");
    item->SetProp(key::kFile, "file" + n + ".zip");
    item->SetProp(key::kExtension, "zip");
    item->SetProp(key::kLogin, "anonymous");
    item->SetProp(key::kPassword, "pellmarsh@example.invalid");
    item->SetProp(key::kError, "");
    item->SetProp(key::kProcess, "Transfer complete.");
    item->SetProp(key::kLog, log);
    for (PropKey key : {key::kCreate, key::kStart, key::kFinish, key::kSize, key::kReceived,
                        key::kReceivedSession, key::kResume, key::kRetryCount, key::kRetryDelay}) {
      item->SetPropInt64(key, 1765000000 + index);
    }
    item->SetPropInt(key::kStatus, status);
    list.AddChild(std::move(item));
  }
}

}  // namespace pellmarsh::bench
