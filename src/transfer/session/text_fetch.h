#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "notify/events.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "store/tree.h"
#include "url/local_name_registry.h"

namespace pellmarsh {

// A small text file, such as a sums file, fetched into memory by the
// program's own engine on a thread of its own, while the window waits. It is
// no item of the list and makes no sound.
class TextFetch {
 public:
  static constexpr int64_t kLargest = int64_t{4} << 20;

  TextFetch(Tree& tree, Resolver& resolver, Clock& clock, std::string url);
  TextFetch(const TextFetch&) = delete;
  TextFetch& operator=(const TextFetch&) = delete;
  // A fetch still running is given up.
  ~TextFetch();

  bool done() const { return done_; }
  // Once done: the text, or nothing and the error.
  const std::optional<std::string>& text() const { return text_; }
  const std::string& error() const { return error_; }

 private:
  void Run(const std::string& url);
  // The session's steps until it ends, is given up or outgrows kLargest.
  void StepUntilDone(Item& item, const std::string& folder);

  Tree& tree_;
  Resolver& resolver_;
  Clock& clock_;
  SilentEvents silent_;
  LocalNameRegistry names_;  // its own: the fetched file's name is no download's
  std::optional<std::string> text_;
  std::string error_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace pellmarsh
