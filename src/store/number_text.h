#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellmarsh {

// The one text-to-number rule of the program: leading blanks are skipped, an
// optional sign and decimal digits follow, and the first other character ends
// the number ("12abc" is 12, "abc" is 0). Values beyond 64 bits saturate.
int64_t ParseLeadingInteger(std::string_view text);
// The leading decimal number with optional fraction and exponent; 0.0 when none.
// Independent of the process locale, so "1.5" means the same everywhere.
double ParseLeadingReal(std::string_view text);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

// "%d"-style decimal text.
std::string FormatInteger(int64_t value);
// "%f"-style text, six digits after the point, always with a '.'.
std::string FormatReal(double value);

}  // namespace pellmarsh
