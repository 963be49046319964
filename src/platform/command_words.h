#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pellmarsh {

// The words of a command line as a user writes them, read with no shell:
// blanks and tabs separate words; a character of `quotes` opens a quote that
// the same character closes, keeping blanks (and any other quote character)
// inside the word, and is dropped; an empty quote is an empty word. A quote
// left open runs to the end of the line.
std::vector<std::string> SplitCommandWords(std::string_view line, std::string_view quotes);

}  // namespace pellmarsh
