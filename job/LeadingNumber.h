#pragma once
#include <string_view>

namespace pm {

// A text read as a number by its leading numeric part: blanks, tabs and line
// feeds are skipped wherever they stand; then an optional sign, digits with
// at most one "." (whatever the locale), and an optional exponent (E or D in
// either case, optional sign, digits). "&H" and "&O" start a hexadecimal or
// octal whole number. The first character that cannot continue the number
// ends it; a text that does not begin with a number gives 0. A number too
// large for a double gives an infinity, one too small gives 0.
double LeadingNumber(std::string_view text);

}  // namespace pm
