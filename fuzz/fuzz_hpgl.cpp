// The HPGL importer on any input: a refusal with a reason, or plot text that
// the job reads back as the statements and points the summary counts.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "importer/Hpgl.h"
#include "job/LeadingNumber.h"
#include "job/Statement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Plot numbers read back as the value written.
    if (size >= sizeof(double)) {
        double v = 0;
        std::memcpy(&v, data, sizeof v);
        if (std::isfinite(v)) {
            const std::string text = pm::FormatPlotNumber(v);
            PM_FUZZ_CHECK(text.find_first_of("eE") == std::string::npos, "an exponent written");
            PM_FUZZ_CHECK(pm::LeadingNumber(text) == v, "a plot number that reads back otherwise");
        }
    }

    const pm::HpglResult r = pm::ConvertHpgl(input);
    if (!r.ok) {
        PM_FUZZ_CHECK(r.text.empty() && !r.error.empty(), "a refusal without a reason");
        return 0;
    }
    PM_FUZZ_CHECK(r.text.empty() || r.text.back() == ';', "text after the last statement");

    long long statements = 0;
    pm::DrawingExtent extent;
    std::size_t begin = 0;
    while (begin < r.text.size()) {
        const std::size_t end = r.text.find(';', begin);
        const std::string_view st = std::string_view(r.text).substr(begin, end - begin + 1);
        const pm::Statement cut = pm::CutStatement(st);
        PM_FUZZ_CHECK(cut.penUp || cut.penDown, "a statement that is neither PU nor PD");
        if (cut.hasPair) {
            const double x = pm::LeadingNumber(cut.xText);
            const double y = pm::LeadingNumber(cut.yText);
            PM_FUZZ_CHECK(std::isfinite(x) && std::isfinite(y), "a point that is not a number");
            extent.add(x, y);
        } else {
            PM_FUZZ_CHECK(st.size() == 3, "a statement with text but no pair");
        }
        ++statements;
        begin = end + 1;
    }
    PM_FUZZ_CHECK(statements == r.summary.statements, "statements written and counted differ");
    PM_FUZZ_CHECK(extent.empty == r.summary.extent.empty, "an extent for no point");
    if (!extent.empty) {
        PM_FUZZ_CHECK(extent.minX == r.summary.extent.minX && extent.maxX == r.summary.extent.maxX &&
                          extent.minY == r.summary.extent.minY &&
                          extent.maxY == r.summary.extent.maxY,
                      "the extent is not that of the points written");
    }
    return 0;
}
