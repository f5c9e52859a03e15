#pragma once
#include <string>
#include <string_view>

#include "importer/Plot.h"

namespace pm {

using HpglSummary = DrawingSummary;
using HpglResult = DrawingResult;

// The frame P1-P2, in plotter units, into which SC scales user units when
// the file gives no IP: the A4 frame of a common desk plotter.
struct HpglFrame {
    double p1x = 250;
    double p1y = 596;
    double p2x = 10250;
    double p2y = 7796;
};

struct HpglOptions {
    HpglFrame frame;  // the device's default P1-P2
    long long maxStatements = kDefaultMaxStatements;  // the bound on the output; 0 none
};

// Turns an HPGL plot file, as drawing programs and instruments write it,
// into the program's own plot form: one statement per coordinate pair, each
// headed "PU" (travel) or "PD" (mill), absolute coordinates in plot units,
// statements back to back. A pen that goes down and up again without moving
// is kept as a lone 'PD;' and 'PU;' (a plunge). A file that is not plain
// HPGL is refused as a whole.
// SC scales user units into the frame P1-P2: the one IP gave, else the
// default frame of the options; the summary names the frame used. A scaling
// that cannot be applied (SC with a minimum equal to its maximum, an IP whose
// P1 and P2 share an X or a Y) is ignored and the summary says so. A drawing
// that would give more statements than the options' bound is refused.
HpglResult ConvertHpgl(std::string_view input, const HpglOptions& options = {});

// Reads inPath, converts it and writes the plot text to outPath (only when
// the conversion succeeds). Errors reading or writing come back in error.
HpglResult ConvertHpglFile(const std::string& inPath, const std::string& outPath,
                           const HpglOptions& options = {});

// Whether a file name carries one of the HPGL extensions (.plt, .hpgl,
// .hpg, in any case).
bool IsHpglFileName(std::string_view path);

}  // namespace pm
