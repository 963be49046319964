#include "app/command_line.h"

#include "app/upgrade_check.h"
#include "capture/url_item.h"

namespace pellmarsh {
namespace {

// A refused argument is told on one line of the terminal, its control
// bytes written out rather than obeyed.
std::string Printable(const std::string& argument) {
  std::string text;
  for (const char c : argument) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      text += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument.starts_with("-")) {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--help" || argument == "-h") {
        line.help = true;
      } else if (argument == "--version") {
        line.version = true;
      } else if (argument == "--native-messaging") {
        line.nativeMessaging = true;
        break;
      } else {
        line.problems.push_back(Printable(argument) + ": Unknown option");
      }
      continue;
    }
    // A pasted argument may hold several URLs, on lines or between blanks;
    // one without any is refused whole.
    std::vector<std::string> texts = UrlTextsIn(argument);
    if (texts.empty()) {
      texts = {argument};
    }
    for (std::string& text : texts) {
      if (const std::string problem = UrlProblem(text); !problem.empty()) {
        line.problems.push_back(Printable(text) + ": " + problem);
      } else {
        line.links.push_back(std::move(text));
      }
    }
  }
  return line;
}

std::string UsageText() {
  return "Usage: pellmarsh [URL...]\n"
         "Downloads over http, https, ftp and file URLs.\n"
         "\n"
         "With Pellmarsh already running, the URLs are handed to it on the session bus\n"
         "(org.example.pellmarsh) and this command ends at once; otherwise Pellmarsh starts\n"
         "and adds them. They are queued, or held when \"Queue links from other programs\"\n"
         "is off in the settings.\n"
         "\n"
         "  --help     show this text\n"
         "  --version  show the version\n"
         "  --native-messaging  serve the browser extension (started by the browser)\n"
         "\n"
         "Exit status: 0, or 2 when an argument was refused (the other URLs still go in).\n";
}

std::string VersionText() {
  return "Pellmarsh " + std::string(kOwnVersion) + "\n";
}

}  // namespace pellmarsh
