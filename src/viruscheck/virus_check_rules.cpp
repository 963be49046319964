#include "viruscheck/virus_check_rules.h"

#include "platform/command_words.h"
#include "store/number_text.h"

namespace pellmarsh {
namespace {

constexpr int kNoCode = -99999;
constexpr std::string_view kFileMarker = "%1";

}  // namespace

int64_t CodeListEntry(std::string_view entry) {
  const int64_t value = ParseLeadingInteger(entry);
  const bool digitFirst = !entry.empty() && entry[0] >= '0' && entry[0] <= '9';
  if (value == 0 && !digitFirst) {
    return kNoCode;
  }
  return value;
}

bool CodeListHolds(std::string_view list, int exitCode) {
  if (list.empty()) {
    return false;
  }
  for (size_t start = 0;;) {
    const size_t comma = list.find(',', start);
    if (CodeListEntry(list.substr(start, comma - start)) == exitCode) {
      return true;
    }
    if (comma == std::string_view::npos) {
      return false;
    }
    start = comma + 1;
  }
}

std::string CheckerCommandLine(std::string_view command, std::string_view path) {
  const size_t marker = command.find(kFileMarker);
  return std::string(command.substr(0, marker)) + "\"" + std::string(path) + "\"" +
         std::string(command.substr(marker + kFileMarker.size()));
}

std::vector<std::string> CheckerArguments(const std::string& program, std::string_view command,
                                          std::string_view path) {
  std::vector<std::string> words{program};
  for (std::string& word : SplitCommandWords(command, "\"")) {
    words.push_back(std::move(word));
  }
  for (auto word = words.begin() + 1; word != words.end(); ++word) {
    if (const size_t marker = word->find(kFileMarker); marker != std::string::npos) {
      word->replace(marker, kFileMarker.size(), path);
      break;
    }
  }
  return words;
}

}  // namespace pellmarsh
