// LeadingNumber on any text: never a crash, never a NaN, the same value for
// the same text, and blanks count for nothing wherever they stand.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "job/LeadingNumber.h"

namespace {

bool isBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; }

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char ch : s) {
        if (ch < '0' || ch > '9') return false;
    }
    return true;
}

bool sameNumber(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double v = pm::LeadingNumber(text);

    PM_FUZZ_CHECK(!std::isnan(v), "a text read as NaN");
    PM_FUZZ_CHECK(sameNumber(v, pm::LeadingNumber(std::string(text))),
                  "the same text read twice differently");

    // Blanks are skipped wherever they stand, so the text without them reads
    // the same. (The "&H" and "&O" prefixes are left out of this rule.)
    if (text.find('&') == std::string_view::npos) {
        std::string bare;
        for (const char ch : text) {
            if (!isBlank(ch)) bare.push_back(ch);
        }
        PM_FUZZ_CHECK(sameNumber(v, pm::LeadingNumber(bare)),
                      "blanks changed the number read");
    }

    // A plain whole number of up to 15 digits reads exactly.
    if (text.size() <= 15 && allDigits(text)) {
        double exact = 0;
        for (const char ch : text) exact = exact * 10 + (ch - '0');
        PM_FUZZ_CHECK(v == exact, "a plain whole number read wrong");
    }
    return 0;
}
