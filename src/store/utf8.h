#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellmarsh {

// The length of the well-formed UTF-8 sequence at `pos` (inside the text), 0
// when there is none (overlong forms, surrogates and code points past
// U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t pos);

// True when the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// Appends a code point of at most U+10FFFF.
void AppendUtf8(std::string& out, uint32_t code);

}  // namespace pellmarsh
