#include "sample_tree.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "store/builtin_tree.h"
#include "store/item_status.h"
#include "store/keys.h"
#include "store/tree_codec.h"

namespace pellmarsh::bench {
namespace {

// A download's log as the sessions write it: attempts of a connect, the
// request and the server's header, then the data or a failure, each line
// with its own clock tick, addresses, sizes, dates and tags.
std::string SampleLog(std::mt19937& random, const std::string& url, const std::string& file) {
  std::string log;
  long tick = 100000 + static_cast<long>(random() % 90000000);
  const auto line = [&](const std::string& text) {
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%011ld ", tick);
    log += stamp + text + "\r\n";
    tick += static_cast<long>(random() % 400);
  };
  const long size = 100000 + static_cast<long>(random() % 900000000);
  const std::string address = std::to_string(random() % 223 + 1) + "." +
                              std::to_string(random() % 256) + "." +
                              std::to_string(random() % 256) + "." + std::to_string(random() % 256);
  static constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[64];
  std::snprintf(date, sizeof date, "%s, %02u %s 2026 %02u:%02u:%02u GMT", kDays[random() % 7],
                static_cast<unsigned>(random() % 28 + 1), kMonths[random() % 12],
                static_cast<unsigned>(random() % 24), static_cast<unsigned>(random() % 60),
                static_cast<unsigned>(random() % 60));
  char tag[32];
  std::snprintf(tag, sizeof tag, "\"%08x-%lx\"", static_cast<unsigned>(random()), size);
  long received = 0;
  while (log.size() < 2048) {
    if (!log.empty()) {
      line("--------------------------");
    }
    line("Start: " + url);
    line("Connecting to host at " + address + ", port 80");
    line("Waiting for connect...");
    line("Connected.  Opening save file.");
    line("Send Line: GET /pub/releases/" + file + " HTTP/1.1|Host: downloads.example.com|" +
         (received ? "Range: bytes=" + std::to_string(received) + "-|" : std::string()));
    line(received ? "Recv Line: HTTP/1.1 206 Partial Content" : "Recv Line: HTTP/1.1 200 OK");
    line("Recv Line: Date: " + std::string(date));
    line("Recv Line: Server: nginx/1.22." + std::to_string(random() % 3));
    line("Recv Line: Content-Type: application/zip");
    line("Recv Line: Content-Length: " + std::to_string(size - received));
    line("Recv Line: ETag: " + std::string(tag));
    line("HTTP Header complete.  Switching to data mode.");
    line("Transferring data...");
    if (random() % 2 == 0) {
      received += static_cast<long>(random() % static_cast<unsigned long>(size - received));
      line("Receive Error: Connection Reset By Host");
    } else {
      line("Successful data transfer, got " + std::to_string(size - received) +
           " bytes this session.");
      received = 0;
    }
  }
  // About 2 KiB, ending with a whole line.
  log.resize(log.find("\r\n", 2046) + 2);
  return log;
}

}  // namespace

void AddSampleUrlItems(Item& root, int count, int status) {
  Item& list = root.FindOrCreateChild("_filelist");
  std::mt19937 random(static_cast<unsigned>(list.ChildCount()));
  for (int index = 0; index < count; ++index) {
    auto item = std::make_unique<Item>();
    const std::string n = std::to_string(list.ChildCount());
    const std::string url = "http://downloads.example.com/pub/releases/file" + n + ".zip";
    // Every item was queued once; a finished one has come through the queue.
    item->SetPropInt(key::kStatus, kStatusQueued);
    item->SetProp(key::kName, "file" + n + ".zip");
    item->SetProp(key::kValue, url);
    item->SetProp(key::kOriginalValue, url);
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
    item->SetProp(key::kLog, SampleLog(random, url, "file" + n + ".zip"));
    for (PropKey key : {key::kCreate, key::kStart, key::kFinish, key::kSize, key::kReceived,
                        key::kReceivedSession, key::kResume, key::kRetryCount, key::kRetryDelay}) {
      item->SetPropInt64(key, 1765000000 + index);
    }
    item->SetPropInt(key::kStatus, status);
    list.AddChild(std::move(item));
  }
}

void WriteSampleDataFile(const std::string& path, int pending, int completed) {
  const pid_t child = ::fork();
  if (child == 0) {
    Item root;
    MarkFirstStart(root, 1765000000);
    root.SetPropInt(setting::kOffline, 1);
    AddSampleUrlItems(root, pending, kStatusQueued);
    AddSampleUrlItems(root, completed, kStatusComplete);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << SaveTree(root);
    ::_exit(file.good() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0) {
    std::fprintf(stderr, "could not write the data file %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace pellmarsh::bench
