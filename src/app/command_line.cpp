#include "app/command_line.h"

#include "capture/url_item.h"
#include "platform/program_version.h"
#include "url/url_globbing.h"

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
    for (const std::string& text : texts) {
      // The terminal asks nothing: many addresses are added without a question.
      UrlGlob glob = ExpandUrlGlob(text);
      if (!glob.error.empty()) {
        line.problems.push_back(Printable(text) + ": " + glob.error);
      }
      for (std::string& url : glob.urls) {
        if (const std::string problem = UrlProblem(url); !problem.empty()) {
          line.problems.push_back(Printable(url) + ": " + problem);
        } else {
          line.links.push_back(std::move(url));
        }
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
         "A URL may hold ranges and sets, as curl writes them: http://host/img[001-120].jpg,\n"
         "[a-z], [0-100:10], {one,two}; each address is added, up to 10,000 at once. A literal\n"
         "bracket is written %5B.\n"
         "\n"
         "Exit status: 0, or 2 when an argument was refused (the other URLs still go in).\n";
}

std::string VersionText() {
  return "Pellmarsh " + std::string(kProgramVersion) + "\n";
}

}  // namespace pellmarsh
