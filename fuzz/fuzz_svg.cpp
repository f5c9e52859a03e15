// The SVG converter on any input: a refusal with a reason, or well-formed
// plot text that agrees with its summary.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/PlotCheck.h"
#include "importer_svg/Svg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    pm::fuzz::CheckDrawingResult(pm::ConvertSvg(input));
    return 0;
}
