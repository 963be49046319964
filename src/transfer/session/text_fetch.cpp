#include "transfer/session/text_fetch.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/session/transfer_session.h"

namespace pellmarsh {
namespace {

// Short, so that giving up never keeps the window waiting.
constexpr int kLongestWaitMs = 100;

}  // namespace

TextFetch::TextFetch(Tree& tree, Resolver& resolver, Clock& clock, std::string url)
    : tree_(tree), resolver_(resolver), clock_(clock), names_(tree) {
  thread_ = std::thread([this, url = std::move(url)] { Run(url); });
}

TextFetch::~TextFetch() {
  cancel_ = true;
  thread_.join();
}

void TextFetch::Run(const std::string& url) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "pellmarsh-fetch-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = "Couldn't make a folder to fetch " + url + " into.";
    done_ = true;
    return;
  }
  Item item;
  item.SetProp(key::kType, "_url");
  item.SetProp(key::kValue, url);
  item.SetProp(key::kLocal, pattern + "/fetched");
  item.SetPropInt(key::kStatus, kStatusTransferring);
  StepUntilDone(item, pattern);
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  done_ = true;
}

void TextFetch::StepUntilDone(Item& item, const std::string& folder) {
  std::vector<char> buffer(kTransferBufferSize + 1);
  Item& settings = [this]() -> Item& {
    TreeLockGuard lock(tree_.lock());
    return tree_.root();
  }();
  const TransferContext context{settings,  tree_.lock(), clock_,        silent_,
                                resolver_, names_,       buffer.data(), kTransferBufferSize};
  TransferSession session(item, context);
  while (session.Step()) {
    IoWait wait;
    {
      // The session's own name for the lock, so the lock analysis sees it held.
      TreeLockGuard lock(session.treeLock());
      if (item.GetPropInt64(key::kReceived) > kLargest) {
        error_ = "It is larger than " + std::to_string(kLargest >> 20) + " MB.";
        return;
      }
      wait = session.NextWait();
    }
    if (cancel_) {
      error_ = "Given up.";
      return;
    }
    if (wait.fd >= 0) {
      pollfd one{wait.fd, static_cast<short>(wait.forWrite ? POLLOUT : POLLIN), 0};
      ::poll(&one, 1, kLongestWaitMs);
    }
  }
  TreeLockGuard lock(tree_.lock());
  if (item.GetPropInt(key::kStatus) != kStatusComplete) {
    error_ = item.GetProp(key::kError);
    return;
  }
  std::ifstream file(item.GetProp(key::kLocal), std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file || item.GetProp(key::kLocal).rfind(folder, 0) != 0) {
    error_ = "Couldn't read what was fetched.";
    return;
  }
  text_ = bytes.str();
}

}  // namespace pellmarsh
