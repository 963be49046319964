#include "platform/command_words.h"

namespace pellmarsh {

std::vector<std::string> SplitCommandWords(std::string_view line, std::string_view quotes) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (const char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (quotes.find(c) != std::string_view::npos) {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) {
        words.push_back(std::move(word));
        word.clear();
      }
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) {
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace pellmarsh
