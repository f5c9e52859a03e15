#pragma once
#include <string_view>

#include "importer/Plot.h"

namespace pm {

// Turns an SVG drawing into the plot form at 0.025 mm a plot unit: every
// path, line, polyline, polygon, rectangle, circle and ellipse, through
// groups, transforms, "use" and style sheets, each subpath a travel to its
// start and a milled walk along it, curves as chords within 0.01 mm. The
// page's lower left corner is the origin, Y up; the page is sized by the
// width and height (mm, cm, in, pt, pc, px at 96 an inch) and the viewBox.
// Fills are followed along their outline; hidden elements, text and images
// are not drawn, and nothing the drawing names outside itself (an image, a
// style sheet, another file's element) is ever opened. A file that is not
// well-formed XML, or not SVG, or draws nothing, is refused; so are a
// transform that is not finite or not invertible, a page or viewBox without
// width or height, a path longer than the SVG reader reads, and a drawing
// that would give more statements than the options' bound.
DrawingResult ConvertSvg(std::string_view input, const SvgOptions& options = {});

}  // namespace pm
