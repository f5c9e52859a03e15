// Cutting one statement: the head is its first two characters, a pair only
// for "PA", "PU", "PD" with a "," in more than 3 characters, the X text
// between the head and the first ",", the Y text between that "," and the
// last character; every text a view into the statement. Then the pair read
// as numbers and judged as a target.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "job/LeadingNumber.h"
#include "job/Statement.h"

namespace {

bool inside(std::string_view part, std::string_view whole) {
    if (part.empty()) return true;
    const auto* const b = whole.data();
    return part.data() >= b && part.data() + part.size() <= b + whole.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const pm::Statement s = pm::CutStatement(text);

    PM_FUZZ_CHECK(s.head == text.substr(0, 2), "the head is not the first two characters");
    PM_FUZZ_CHECK(s.penUp == (s.head == "PU") && s.penDown == (s.head == "PD"),
                  "pen up or down from the wrong head");
    const bool pen = s.head == "PA" || s.head == "PU" || s.head == "PD";
    const std::size_t comma = text.find(',');
    PM_FUZZ_CHECK(s.hasPair == (pen && text.size() > 3 && comma != std::string_view::npos),
                  "a pair where there is none, or none where there is one");
    PM_FUZZ_CHECK(inside(s.head, text) && inside(s.xText, text) && inside(s.yText, text),
                  "a text outside the statement");
    if (!s.hasPair) {
        PM_FUZZ_CHECK(s.xText.empty() && s.yText.empty(), "texts without a pair");
        return 0;
    }
    PM_FUZZ_CHECK(s.xText == text.substr(2, comma - 2), "the X text is not head to comma");
    const std::string_view y = comma + 1 < text.size() - 1
                                   ? text.substr(comma + 1, text.size() - comma - 2)
                                   : std::string_view();
    PM_FUZZ_CHECK(s.yText == y, "the Y text is not comma to last character");

    const double x = pm::LeadingNumber(s.xText);
    const double yv = pm::LeadingNumber(s.yText);
    const bool ok = pm::TargetAcceptable(x, yv, 0, 0);
    PM_FUZZ_CHECK(!ok || (std::isfinite(x) && std::isfinite(yv) && std::fabs(x) <= 1e9 &&
                          std::fabs(yv) <= 1e9),
                  "a target beyond reach accepted");
    return 0;
}
