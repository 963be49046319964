#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// What the placeholders of the program line stand for, for one finished file.
struct FinishedFile {
  std::string file;    // {file}: the full path
  std::string folder;  // {folder}: the folder it is in
  std::string url;     // {url}: the item's URL
  std::string name;    // {name}: the file's name
};

FinishedFile FinishedFileOf(const std::string& path, const std::string& url);

// The words of a program line as a user expects them, with no shell (see
// SplitCommandWords): double and single quotes both keep blanks inside a word.
std::vector<std::string> SplitProgramLine(std::string_view line);

// `text` with every {file}, {folder}, {url} and {name} replaced, left to right
// in one pass: what a value holds is never read as a placeholder.
std::string FillPlaceholders(std::string_view text, const FinishedFile& file);

// The program and its arguments: the line split first, then each word filled,
// so that a value stays inside its word whatever blanks, quotes or ";" it holds.
std::vector<std::string> ProgramArguments(std::string_view line, const FinishedFile& file);

}  // namespace pellmarsh
