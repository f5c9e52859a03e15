#pragma once
#include <QByteArray>

namespace pm {

// A drawing with what its program hid taken out, as a browser would not show
// it: an element whose display is none (by attribute, style or style-sheet
// class) goes with everything inside it, whatever the inside says; an
// element whose visibility is hidden or collapse, inherited from its
// ancestors unless it says visible itself, goes alone. What stays is written
// so that the renderer draws it: its visibility and an opacity of 0 are
// cleared, since a cutter cannot mill a line half way.
struct ShownDrawing {
    QByteArray drawing;
    long long hidden = 0;     // drawing elements taken out
    long long invisible = 0;  // drawing elements kept at an opacity of 0
};

// in: well-formed SVG, as the converter's first reading writes it.
ShownDrawing KeepShown(const QByteArray& in);

}  // namespace pm
