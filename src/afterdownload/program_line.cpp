#include "afterdownload/program_line.h"

#include "platform/command_words.h"

namespace pellmarsh {

FinishedFile FinishedFileOf(const std::string& path, const std::string& url) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return {path, "", url, path};
  }
  return {path, slash == 0 ? "/" : path.substr(0, slash), url, path.substr(slash + 1)};
}

std::vector<std::string> SplitProgramLine(std::string_view line) {
  return SplitCommandWords(line, "\"'");
}

std::string FillPlaceholders(std::string_view text, const FinishedFile& file) {
  const struct {
    std::string_view placeholder;
    const std::string& value;
  } placeholders[] = {
      {"{file}", file.file}, {"{folder}", file.folder}, {"{url}", file.url}, {"{name}", file.name}};
  std::string filled;
  size_t index = 0;
  while (index < text.size()) {
    bool replaced = false;
    for (const auto& [placeholder, value] : placeholders) {
      if (text.substr(index, placeholder.size()) == placeholder) {
        filled += value;
        index += placeholder.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      filled += text[index++];
    }
  }
  return filled;
}

std::vector<std::string> ProgramArguments(std::string_view line, const FinishedFile& file) {
  std::vector<std::string> words = SplitProgramLine(line);
  for (std::string& word : words) {
    word = FillPlaceholders(word, file);
  }
  return words;
}

}  // namespace pellmarsh
