#include "job/LeadingNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace pm {
namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Index of the first character at or after i that is not a blank.
std::size_t SkipBlanks(std::string_view t, std::size_t i) {
    while (i < t.size() && IsBlank(t[i])) ++i;
    return i;
}

int DigitValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return 99;
}

// "&H1F", "&O17": the whole number after the prefix at t[i] == '&'.
double RadixNumber(std::string_view t, std::size_t i) {
    i = SkipBlanks(t, i + 1);
    if (i >= t.size()) return 0;
    int base = 0;
    if (t[i] == 'H' || t[i] == 'h') base = 16;
    if (t[i] == 'O' || t[i] == 'o') base = 8;
    if (base == 0) return 0;
    double v = 0;
    for (i = SkipBlanks(t, i + 1); i < t.size(); i = SkipBlanks(t, i + 1)) {
        const int d = DigitValue(t[i]);
        if (d >= base) break;
        v = v * base + d;
    }
    return v;
}

// What an out-of-range decimal text stands for: an infinity when its
// leading digit lies above the units, else 0. mantissa holds digits and at
// most one '.', with at least one digit other than 0.
double OutOfRange(std::string_view mantissa, long long exponent) {
    const std::size_t dot = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return 0;
    const long long lead = first < dot ? static_cast<long long>(dot - first - 1)
                                       : -static_cast<long long>(first - dot);
    return lead + exponent >= 0 ? HUGE_VAL : 0.0;
}

}  // namespace

double LeadingNumber(std::string_view t) {
    std::size_t i = SkipBlanks(t, 0);
    if (i < t.size() && t[i] == '&') return RadixNumber(t, i);

    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        i = SkipBlanks(t, i + 1);
    }

    // The mantissa, without the blanks that stood inside it.
    std::string mantissa;
    bool dot = false;
    bool digits = false;
    for (; i < t.size(); i = SkipBlanks(t, i + 1)) {
        if (IsDigit(t[i])) {
            digits = true;
        } else if (t[i] == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
        mantissa += t[i];
    }
    if (!digits) return 0;

    // The exponent counts only when at least one digit follows its letter.
    long long exponent = 0;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
        std::size_t j = SkipBlanks(t, i + 1);
        bool expNegative = false;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
            expNegative = t[j] == '-';
            j = SkipBlanks(t, j + 1);
        }
        bool expDigits = false;
        for (; j < t.size() && IsDigit(t[j]); j = SkipBlanks(t, j + 1)) {
            expDigits = true;
            // Far beyond any double; saturating keeps the sum below finite.
            if (exponent < 1'000'000) exponent = exponent * 10 + (t[j] - '0');
        }
        if (expDigits && expNegative) exponent = -exponent;
        if (!expDigits) exponent = 0;
    }

    const std::size_t mantissaLength = mantissa.size();
    if (exponent != 0) {
        mantissa += 'e';
        mantissa += std::to_string(exponent);
    }
    double v = 0;
    const auto result = std::from_chars(mantissa.data(), mantissa.data() + mantissa.size(), v,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        v = OutOfRange(std::string_view(mantissa).substr(0, mantissaLength), exponent);
    }
    if (v == 0) return 0;  // never a negative zero
    return negative ? -v : v;
}

double DivisorValue(std::string_view text) {
    if (text.find(',') == std::string_view::npos) return LeadingNumber(text);
    std::string pointed(text);
    std::replace(pointed.begin(), pointed.end(), ',', '.');
    return LeadingNumber(pointed);
}

}  // namespace pm
