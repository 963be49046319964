#include "desktop/native_messaging_bridge.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/native_messaging_host.h"
#include "desktop/qt_link_service.h"
#include "platform/process.h"

namespace pellmarsh {
namespace {

// A program already running owns its name; one started here needs longer.
constexpr std::chrono::milliseconds kRunningPatience(500);
constexpr std::chrono::seconds kStartingPatience(20);
// How long the browser's paused download waits for Pellmarsh's server to
// start sending, and how often the host asks.
constexpr std::chrono::seconds kFirstAnswerPatience(20);
constexpr std::chrono::milliseconds kFirstAnswerPoll(200);

// The program of this process, so that host and program are one install.
bool StartProgram() {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error);
  return !error && StartDetached(program);
}

// Asks after each download until its server started sending it, it failed,
// or the time is up: the browser gives its own download up only once
// Pellmarsh has the file coming.
void AwaitFirstAnswers(const std::vector<HandedDownload>& downloads,
                       std::vector<std::string>& problems) {
  const auto deadline = std::chrono::steady_clock::now() + kFirstAnswerPatience;
  for (size_t i = 0; i < downloads.size(); ++i) {
    while (problems[i].empty()) {
      const std::optional<std::string> state =
          AskDownloadState(downloads[i].url, downloads[i].size);
      if (!state) {
        problems[i] = "Pellmarsh stopped answering.";
      } else if (*state == "started") {
        break;
      } else if (!state->empty()) {
        problems[i] = *state;
      } else if (std::chrono::steady_clock::now() >= deadline) {
        problems[i] = "The server did not start sending the file in time.";
      } else {
        std::this_thread::sleep_for(kFirstAnswerPoll);
      }
    }
  }
}

std::vector<std::string> HandOn(const std::string& text, const BrowserMessage& message) {
  std::optional<std::vector<std::string>> problems =
      HandDownloadsToRunningInstance(text, kRunningPatience);
  if (!problems && StartProgram()) {
    problems = HandDownloadsToRunningInstance(text, kStartingPatience);
  }
  if (!problems) {
    return std::vector<std::string>(message.downloads.size(),
                                    "Pellmarsh is not running and could not be started.");
  }
  problems->resize(message.downloads.size(), "The link was not taken.");
  if (message.confirm) {
    AwaitFirstAnswers(message.downloads, *problems);
  }
  return *problems;
}

}  // namespace

int RunNativeMessagingBridge() {
  return RunNativeMessagingHost(STDIN_FILENO, STDOUT_FILENO, HandOn);
}

}  // namespace pellmarsh
