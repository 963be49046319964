#include "sample_tree.h"

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
    item->SetProp("name", "file" + n + ".zip");
    item->SetProp("value", "http://downloads.example.com/pub/releases/file" + n + ".zip");
    item->SetProp("originalvalue", "http://downloads.example.com/pub/releases/file" + n + ".zip");
    item->SetProp("type", "_url");
    item->SetProp("local", "/home/user/pellmarsh/download/file" + n + ".zip");
    item->SetProp("protocol", "http");
    item->SetProp("hostname", "downloads.example.com");
    item->SetProp("path", "/pub/releases/");
    item->SetProp("file", "file" + n + ".zip");
    item->SetProp("extension", "zip");
    item->SetProp("login", "anonymous");
    item->SetProp("password", "pellmarsh@example.invalid");
    item->SetProp("error", "");
    item->SetProp("process", "Transfer complete.");
    item->SetProp("log", log);
    for (const char* key : {"create", "start", "finish", "size", "received", "receivedsession",
                            "resume", "retrycount", "retrydelay"}) {
      item->SetPropInt64(key, 1765000000 + index);
    }
    item->SetPropInt("status", status);
    list.AddChild(std::move(item));
  }
}

}  // namespace pellmarsh::bench
