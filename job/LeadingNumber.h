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

// The divisor's text ("Dividir cordenadas por:", --divisor) as a number:
// LeadingNumber with a decimal comma read as a decimal point, as the
// operator's own locale writes it ("0,3" is 0.3, "1,5.2" is 1.5). A text
// without a comma reads exactly as LeadingNumber reads it.
double DivisorValue(std::string_view text);

}  // namespace pm
