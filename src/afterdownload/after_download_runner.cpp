#include "afterdownload/after_download_runner.h"

#include <cstring>
#include <vector>

#include "afterdownload/program_line.h"
#include "platform/process.h"
#include "store/keys.h"
#include "transfer/session_log.h"

namespace pellmarsh {
namespace {

// Enough of the output to tell what went wrong, not enough to swamp the log.
constexpr size_t kOutputLines = 10;
constexpr size_t kOutputLineWidth = 200;
constexpr size_t kKeptOutput = kOutputLines * (kOutputLineWidth + 1) * 4;

// Control characters become blanks, so that a line of output stays one line
// of the log; a long line is cut at a character's start, leaving no UTF-8
// sequence in halves.
std::string LogText(std::string_view line) {
  std::string text;
  size_t end = line.size();
  if (end > kOutputLineWidth) {
    end = kOutputLineWidth;
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) {
      --end;
    }
  }
  for (const char c : line.substr(0, end)) {
    text += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
  }
  return end < line.size() ? text + "..." : text;
}

std::vector<std::string> OutputLogLines(std::string_view output) {
  std::vector<std::string> lines;
  while (!output.empty()) {
    if (lines.size() == kOutputLines) {
      lines.push_back("Program output goes on; the rest is not shown.");
      break;
    }
    const size_t newline = output.find('\n');
    std::string_view line = output.substr(0, newline);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    lines.push_back("Program output: " + LogText(line));
    output = newline == std::string_view::npos ? "" : output.substr(newline + 1);
  }
  return lines;
}

}  // namespace

// What one run came to, gathered without the lock.
struct AfterDownloadRunner::Outcome {
  ProcessExit exit;
  bool timedOut = false;
  std::string output;
};

void AfterDownloadRunner::Loop() {
  while (shared_.thread == AfterDownloadThreadState::kRunning) {
    if (!HasWork()) {
      clock_.SleepMsUnless(kIdleWaitMs, shared_.work);
    }
    shared_.work.Take();
    if (shared_.thread == AfterDownloadThreadState::kRunning) {
      RunNext();
    }
  }
  shared_.thread = AfterDownloadThreadState::kStopped;
}

bool AfterDownloadRunner::HasWork() {
  Tree::Access tree(tree_);
  return shared_.HasWork(tree_.lock());
}

void AfterDownloadRunner::RunNext() {
  Item* item = nullptr;
  std::string line;
  FinishedFile file;
  {
    Tree::Access tree(tree_);
    item = shared_.TakeNext(tree_.lock());
    if (item == nullptr) {
      return;
    }
    line = tree->GetProp(setting::kRunAfter);
    file = FinishedFileOf(item->GetProp(key::kLocal), item->GetProp(key::kValue));
    // The setting may have been cleared since the download ended.
    if (SplitProgramLine(line).empty()) {
      shared_.FinishRunning(tree_.lock(), *item);
      return;
    }
    AppendLogLine(*item, clock_.TickCount(),
                  "Running after download: " + FillPlaceholders(line, file));
  }
  Outcome outcome;
  const auto deadline = std::chrono::steady_clock::now() + timeLimit_;
  outcome.exit = RunProgramCapturing(
      ProgramArguments(line, file),
      [&] {
        if (shared_.thread != AfterDownloadThreadState::kRunning) {
          return true;
        }
        outcome.timedOut = std::chrono::steady_clock::now() >= deadline;
        return outcome.timedOut;
      },
      kKeptOutput, outcome.output);
  Record(*item, outcome);
}

void AfterDownloadRunner::Record(Item& item, const Outcome& outcome) {
  std::vector<std::string> lines;
  const ProcessExit& exit = outcome.exit;
  if (!exit.started) {
    lines.push_back("Could not start the program after download: " +
                    std::string(std::strerror(exit.startError)));
  } else {
    lines = OutputLogLines(outcome.output);
    if (outcome.timedOut) {
      const auto seconds = std::chrono::ceil<std::chrono::seconds>(timeLimit_).count();
      lines.push_back("Program stopped: it ran past its time limit of " + std::to_string(seconds) +
                      " s.");
    } else if (exit.stopped) {
      lines.push_back("Program stopped: Pellmarsh is closing.");
    } else if (exit.signal != 0) {
      lines.push_back("Program ended by signal " + std::to_string(exit.signal));
    } else {
      lines.push_back("Program exited with status " + std::to_string(exit.exitCode));
    }
  }
  Tree::Access tree(tree_);
  // A command may have deleted the item while the program ran.
  if (!shared_.FinishRunning(tree_.lock(), item)) {
    return;
  }
  for (const std::string& text : lines) {
    AppendLogLine(item, clock_.TickCount(), text);
  }
}

}  // namespace pellmarsh
