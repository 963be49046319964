#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// One entry of a comma-separated code list, read as a signed decimal number
// from its start; an entry that reads as 0 but does not begin with a digit
// (empty, blank-led, text) is -99999, so it matches only that exit code. An
// entry beyond the range of an exit code keeps its value and matches none.
int64_t CodeListEntry(std::string_view entry);
bool CodeListHolds(std::string_view list, int exitCode);

// The checker's command line as the log shows it: the command with its first
// "%1" replaced by the path in double quotes.
std::string CheckerCommandLine(std::string_view command, std::string_view path);

// The argument vector the checker is started with: the program, then the words
// of the command as the user wrote them (blanks separate words, double quotes
// group them and are dropped), the word holding "%1" getting the path in its
// place. The path arrives as exactly the text it is, whatever it holds.
std::vector<std::string> CheckerArguments(const std::string& program, std::string_view command,
                                          std::string_view path);

}  // namespace pellmarsh
