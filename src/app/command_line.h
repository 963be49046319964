#pragma once

#include <string>
#include <vector>

namespace pellmarsh {

// What the program was started with: `pellmarsh [--help] [--version] [URL...]`.
struct CommandLine {
  bool help = false;
  bool version = false;
  // Started by a browser as its native-messaging host; the browser's own
  // arguments after the option are not ours.
  bool nativeMessaging = false;
  // The URLs that make items, in order: an argument may hold several.
  std::vector<std::string> links;
  // One line per argument refused: the argument and why.
  std::vector<std::string> problems;
};

// Refused arguments end the program (or the hand-over to a running one) with this.
inline constexpr int kExitBadArgument = 2;

// The arguments after the program's name. An argument starting with "-" is
// an option, unless it follows "--".
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText();

}  // namespace pellmarsh
