#pragma once

#include <memory>
#include <string>

#include "app/app.h"
#include "platform/clock.h"
#include "store/item.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace pellmarsh::testing {

// The program's window-free core over a temporary program directory, with
// recorded messages and sounds and the real clock. A test that needs the
// window builds it over app().
class AppHarness {
 public:
  AppHarness() = default;
  AppHarness(const AppHarness&) = delete;
  AppHarness& operator=(const AppHarness&) = delete;
  ~AppHarness();

  // A new core over the directory, as at the program's next start; the
  // previous one is gone first, as a program ends before it starts again.
  App& Open();
  // Open, then the data file and the built-in tree as the start-up loads
  // them, with no limit on speed. The worker threads do not run yet.
  App& Load();
  // Load, then the worker threads run.
  App& Start();
  // Ends the worker threads by their handshake.
  void StopWorkers();

  // Every finished download goes to `checker` with its path as the only
  // argument: exit code 0 is clean, 1 infected, and an infected file is kept.
  void CheckVirusesWith(const std::string& checker);

  // Adds a queued URL to the pending downloads.
  Item& Queue(const std::string& url, const std::string& local);
  int Status(const Item& item);

  App& app() { return *app_; }

  TempDir dir;
  RecordingMessages messages;
  RecordingSounds sounds;
  SystemClock clock;

 private:
  // Last: it borrows the stand-ins above.
  std::unique_ptr<App> app_;
};

}  // namespace pellmarsh::testing
