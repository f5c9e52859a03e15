// The HPGL importer on any input: a refusal with a reason, or plot text that
// the job reads back as the statements and points the summary counts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "fuzz/PlotCheck.h"
#include "importer/Hpgl.h"
#include "job/LeadingNumber.h"

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

    pm::fuzz::CheckDrawingResult(pm::ConvertHpgl(input));
    return 0;
}
