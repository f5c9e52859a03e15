#include "importer_svg/Svg.h"

#include "importer_svg/SvgVisibility.h"

#include <QByteArray>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTransform>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pm {

namespace {

constexpr double kUnitsPerMm = 1 / kPlotUnitMm;
constexpr double kMmPerPx = 25.4 / 96;
// Curves become chords no farther than this from the curve, plot units.
constexpr double kTolerance = 0.01 * kUnitsPerMm;

using Polyline = std::vector<QPointF>;

// The SVG reader stops reading a path's data past this many elements and
// keeps what it has read, saying nothing.
constexpr int kReaderPathElements = 0x7fff;
// Counting, curves of about more chords than this are counted from their
// size, not split.
constexpr long long kChordsCounted = 1000;
// A page narrower or lower than this holds no drawing.
constexpr double kSmallestPageMm = 0.001;
// Attribute values quoted in a message are cut to this many characters.
constexpr int kQuoted = 80;

double chordDistance(QPointF p0, QPointF p3, QPointF p) {
    const QPointF d = p3 - p0, v = p - p0;
    const double len = std::hypot(d.x(), d.y());
    if (len == 0) return std::hypot(v.x(), v.y());
    return std::fabs(v.x() * d.y() - v.y() * d.x()) / len;
}

// How many chords flattenCubic makes of a curve, without making them.
long long countCubic(QPointF p0, QPointF p1, QPointF p2, QPointF p3, int depth) {
    if (depth >= 24 || std::max(chordDistance(p0, p3, p1), chordDistance(p0, p3, p2)) * 0.75 <= kTolerance) return 1;
    const QPointF a = (p0 + p1) / 2, b = (p1 + p2) / 2, c = (p2 + p3) / 2;
    const QPointF ab = (a + b) / 2, bc = (b + c) / 2, mid = (ab + bc) / 2;
    return countCubic(p0, a, ab, mid, depth + 1) + countCubic(mid, bc, c, p3, depth + 1);
}

// About how many chords flattenCubic makes of a curve, without making them:
// each halving brings the control points four times nearer the chord.
long long cubicPieces(QPointF p0, QPointF p1, QPointF p2, QPointF p3) {
    const double away = std::max(chordDistance(p0, p3, p1), chordDistance(p0, p3, p2)) * 0.75;
    if (!(away > kTolerance)) return 1;
    return static_cast<long long>(std::min(double(1 << 24), std::ceil(std::sqrt(away / kTolerance))));
}

// Cubic Bezier pieces split in halves until each is flat within the
// tolerance (its control points no farther from the chord than 4/3 of it).
void flattenCubic(Polyline& out, QPointF p0, QPointF p1, QPointF p2, QPointF p3, int depth) {
    const QPointF d = p3 - p0;
    const double len = std::hypot(d.x(), d.y());
    const auto away = [&](QPointF p) {
        const QPointF v = p - p0;
        if (len == 0) return std::hypot(v.x(), v.y());
        return std::fabs(v.x() * d.y() - v.y() * d.x()) / len;
    };
    if (depth >= 24 || std::max(away(p1), away(p2)) * 0.75 <= kTolerance) {
        out.push_back(p3);
        return;
    }
    const QPointF a = (p0 + p1) / 2, b = (p1 + p2) / 2, c = (p2 + p3) / 2;
    const QPointF ab = (a + b) / 2, bc = (b + c) / 2, mid = (ab + bc) / 2;
    flattenCubic(out, p0, a, ab, mid, depth + 1);
    flattenCubic(out, mid, bc, c, p3, depth + 1);
}

// A paint engine that draws nothing and keeps every outline it is asked to
// draw, with the painter's transform applied, as polylines.
class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    std::vector<Polyline> lines;
    // The most points counted exactly (0: no bound): past it the drawing is
    // refused and curves are counted without being made.
    long long bound = 0;
    // The points of every outline drawn, kept or only counted.
    long long points = 0;
    // A path the SVG reader stopped reading at its limit was drawn.
    bool cut = false;
    // Counting only: outlines are counted and none is kept.
    bool counting = false;
    // Something was drawn through a transform that flattens the drawing or
    // sends it beyond any number (set by a style sheet, or by transforms
    // that are each fine but not together).
    bool impossible = false;
    // The statements, a point each and the last lift, would pass the bound.
    bool over() const { return bound > 0 && points + 1 > bound; }

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyTransform) {
            transform_ = state.transform();
            flat_ = !usable(transform_);
        }
        // The renderer's "no stroke" is a pen without a brush; a stroke of
        // width 0 does not show either.
        if (state.state() & QPaintEngine::DirtyPen) {
            const QPen& pen = state.pen();
            noPen_ = pen.style() == Qt::NoPen || pen.brush().style() == Qt::NoBrush || pen.widthF() == 0;
        }
        if (state.state() & QPaintEngine::DirtyBrush) noBrush_ = state.brush().style() == Qt::NoBrush;
    }

    void drawPath(const QPainterPath& path) override {
        if (invisible()) return;
        if (path.elementCount() > kReaderPathElements) cut = true;
        if (counting) {
            if (refusesTransform()) return;
            // The painter's second pass over a shape both filled and
            // stroked is not followed again, so it is not counted again.
            const bool again = lines.empty() && lastEllipse_.isNull() && path == lastPath_ &&
                               transform_ == lastTransform_ && subpaths(path) == 1;
            lines.clear();
            lastPath_ = path;
            lastEllipse_ = QRectF();
            lastTransform_ = transform_;
            if (!again) points += countPath(path, !over());
            return;
        }
        Polyline cur;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element& e = path.elementAt(i);
            const QPointF p = transform_.map(QPointF(e.x, e.y));
            switch (e.type) {
                case QPainterPath::MoveToElement:
                    keep(cur);
                    cur = {p};
                    break;
                case QPainterPath::LineToElement: cur.push_back(p); break;
                case QPainterPath::CurveToElement: {
                    if (i + 2 >= path.elementCount() || cur.empty()) break;
                    const QPainterPath::Element& c2 = path.elementAt(i + 1);
                    const QPainterPath::Element& to = path.elementAt(i + 2);
                    flattenCubic(cur, cur.back(), p, transform_.map(QPointF(c2.x, c2.y)),
                                 transform_.map(QPointF(to.x, to.y)), 0);
                    i += 2;
                    break;
                }
                case QPainterPath::CurveToDataElement: break;
            }
        }
        keep(cur);
    }

    void drawEllipse(const QRectF& r) override {
        if (invisible()) return;
        const double rx = r.width() / 2, ry = r.height() / 2;
        const QPointF c = r.center();
        // The largest radius the transform can give the ellipse.
        const double gain = std::sqrt(transform_.m11() * transform_.m11() + transform_.m12() * transform_.m12() +
                                      transform_.m21() * transform_.m21() + transform_.m22() * transform_.m22());
        const double big = std::max(std::fabs(rx), std::fabs(ry)) * gain;
        int n = 8;
        if (big > kTolerance) {
            const double step = 2 * std::acos(1 - kTolerance / big);
            n = std::max(n, static_cast<int>(std::min(1e6, std::ceil(2 * std::numbers::pi / step))));
        }
        if (counting) {
            if (refusesTransform()) return;
            const bool again = lines.empty() && lastPath_.isEmpty() && r == lastEllipse_ && transform_ == lastTransform_;
            lines.clear();
            lastPath_ = QPainterPath();
            lastEllipse_ = r;
            lastTransform_ = transform_;
            if (!again) points += n + 1;
            return;
        }
        Polyline line;
        line.reserve(static_cast<std::size_t>(n) + 1);
        for (int k = 0; k < n; ++k) {
            const double a = 2 * std::numbers::pi * k / n;
            line.push_back(transform_.map(QPointF(c.x() + rx * std::cos(a), c.y() + ry * std::sin(a))));
        }
        line.push_back(line.front());
        keep(line);
    }
    void drawEllipse(const QRect& r) override { drawEllipse(QRectF(r)); }

    void drawRects(const QRectF* rects, int count) override {
        if (invisible()) return;
        for (int k = 0; k < count; ++k) {
                const QRectF& r = rects[k];
            keep({transform_.map(r.topLeft()), transform_.map(r.topRight()), transform_.map(r.bottomRight()),
                  transform_.map(r.bottomLeft()), transform_.map(r.topLeft())});
        }
    }
    void drawRects(const QRect* rects, int count) override {
        for (int k = 0; k < count; ++k) {
            const QRectF r(rects[k]);
            drawRects(&r, 1);
        }
    }

    // A line has no inside to fill: unstroked, it does not show.
    void drawLines(const QLineF* lines, int count) override {
        if (noPen_) return;
        for (int k = 0; k < count; ++k) {
                keep({transform_.map(lines[k].p1()), transform_.map(lines[k].p2())});
        }
    }
    void drawLines(const QLine* lines, int count) override {
        for (int k = 0; k < count; ++k) {
            const QLineF l(lines[k]);
            drawLines(&l, 1);
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (invisible() || count < 1) return;
        Polyline line;
        for (int k = 0; k < count; ++k) line.push_back(transform_.map(points[k]));
        if (mode != QPaintEngine::PolylineMode) line.push_back(line.front());
        keep(line);
    }
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
        std::vector<QPointF> p(points, points + count);
        drawPolygon(p.data(), count, mode);
    }

    // Dots, pictures and glyphs are nothing the tool can follow.
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawTextItem(const QPointF&, const QTextItem&) override {}

private:
    // Neither stroked nor filled: nothing shows on the page.
    bool invisible() const { return noPen_ && noBrush_; }
    // The painter draws a shape both filled and stroked in two passes: the
    // same outline twice in a row is followed once.
    void keep(Polyline& line) {
        if (refusesTransform()) {
            line.clear();
            return;
        }
        if (line.size() >= 2 && (lines.empty() || lines.back() != line)) {
            points += static_cast<long long>(line.size());
            // Counting, only the last outline is kept, to tell the next one
            // whether it repeats it.
            if (counting) {
                lines.clear();
                lastPath_ = QPainterPath();
                lastEllipse_ = QRectF();
            }
            lines.push_back(std::move(line));
        }
        line.clear();
    }
    static int subpaths(const QPainterPath& path) {
        int n = 0;
        for (int i = 0; i < path.elementCount(); ++i) n += path.elementAt(i).isMoveTo() ? 1 : 0;
        return n;
    }
    // The points a path would give, counted without being made: exactly, or
    // about as many past the bound.
    long long countPath(const QPainterPath& path, bool exactly) const {
        long long n = 0;
        QPointF at;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element& e = path.elementAt(i);
            if (e.type == QPainterPath::CurveToElement && i + 2 < path.elementCount()) {
                const QPainterPath::Element& c2 = path.elementAt(i + 1);
                const QPainterPath::Element& to = path.elementAt(i + 2);
                const QPointF p0 = transform_.map(at), p1 = transform_.map(QPointF(e.x, e.y));
                const QPointF p2 = transform_.map(QPointF(c2.x, c2.y)), p3 = transform_.map(QPointF(to.x, to.y));
                // A curve of more chords than any drawing on a router needs
                // (its control points metres away) is counted from its size.
                const long long about = cubicPieces(p0, p1, p2, p3);
                n += exactly && about <= kChordsCounted ? countCubic(p0, p1, p2, p3, 0) : about;
                at = QPointF(to.x, to.y);
                i += 2;
            } else {
                ++n;
                at = QPointF(e.x, e.y);
            }
        }
        return n;
    }
    void keep(Polyline&& line) { keep(line); }

    // Whether a transform keeps a drawing a drawing: finite, invertible.
    static bool usable(const QTransform& t) {
        const double det = t.m11() * t.m22() - t.m12() * t.m21();
        return std::isfinite(det) && det != 0 && std::isfinite(t.dx()) && std::isfinite(t.dy());
    }
    bool refusesTransform() {
        impossible = impossible || flat_;
        return flat_;
    }

    QTransform transform_;
    bool flat_ = false;  // transform_ is not usable
    // Counting: the last path or ellipse counted, when the last outline was one.
    QPainterPath lastPath_;
    QRectF lastEllipse_;
    QTransform lastTransform_;
    bool noPen_ = false;
    bool noBrush_ = false;
};

class RecordingDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine_; }
    RecordingEngine& engine() const { return engine_; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
            case PdmHeight: return 1 << 20;
            case PdmWidthMM:
            case PdmHeightMM: return static_cast<int>((1 << 20) * kMmPerPx);
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY: return 96;
            case PdmDepth: return 32;
            case PdmNumColors: return 1 << 24;
            case PdmDevicePixelRatio: return 1;
            case PdmDevicePixelRatioScaled: return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
            default: return 0;
        }
    }

private:
    mutable RecordingEngine engine_;
};

// A length of the root element in millimetres; nothing for none or a
// percentage.
std::optional<double> lengthMm(const QString& text, bool& unknownUnit) {
    static const QRegularExpression re(QStringLiteral(R"(^\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*([a-zA-Z%]*)\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    // Too large a number is infinite, too small a one is 0.
    const double v = std::strtod(m.captured(1).toLatin1().constData(), nullptr);
    const QString unit = m.captured(2).toLower();
    if (unit == QLatin1String("%")) return std::nullopt;
    if (unit.isEmpty() || unit == QLatin1String("px")) return v * kMmPerPx;
    if (unit == QLatin1String("mm")) return v;
    if (unit == QLatin1String("cm")) return v * 10;
    if (unit == QLatin1String("in")) return v * 25.4;
    if (unit == QLatin1String("pt")) return v * 25.4 / 72;
    if (unit == QLatin1String("pc")) return v * 25.4 / 6;
    unknownUnit = true;  // em, ex: read as px
    return v * kMmPerPx;
}

std::optional<QRectF> viewBox(const QString& text) {
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    if (parts.size() != 4) return std::nullopt;
    double v[4];
    for (int k = 0; k < 4; ++k) {
        bool ok = false;
        v[k] = parts[k].toDouble(&ok);
        if (!ok) return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
    return QRectF(v[0], v[1], v[2], v[3]);
}

// The numbers of an attribute as SVG writes them ("10-5" is two), the words
// nan and inf included, so that they can be refused: too large a number is
// infinite, too small a one is 0.
std::vector<double> svgNumbers(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral(R"([-+]?(?:nan|inf(?:inity)?|(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?))"),
        QRegularExpression::CaseInsensitiveOption);
    std::vector<double> v;
    for (auto it = number.globalMatch(text); it.hasNext();)
        v.push_back(std::strtod(it.next().captured(0).toLatin1().constData(), nullptr));
    return v;
}

// An attribute's value as a message quotes it.
QString quoted(const QString& name, const QString& value) {
    return QStringLiteral("%1=\"%2\"").arg(name, value.size() > kQuoted ? value.left(kQuoted) + "..." : value);
}

// Why a transform list cannot be followed, empty when it can: a number that
// is not finite, or a step that flattens the drawing onto a line or a point
// or grows it beyond any number (its determinant 0 or infinite).
QString transformFault(const QString& text) {
    static const QRegularExpression step(QStringLiteral(R"(([A-Za-z]+)\s*\(([^)]*)\))"));
    for (auto it = step.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const std::vector<double> v = svgNumbers(m.captured(2));
        if (!std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); }))
            return QStringLiteral("número infinito ou que não é um número");
        const QString name = m.captured(1);
        double det = 1;
        if (name == QLatin1String("matrix") && v.size() == 6)
            det = v[0] * v[3] - v[1] * v[2];
        else if (name == QLatin1String("scale") && !v.empty())
            det = v[0] * (v.size() > 1 ? v[1] : v[0]);
        if (!std::isfinite(det)) return QStringLiteral("aumenta o desenho além de qualquer número");
        if (det == 0) return QStringLiteral("achata o desenho numa linha ou num ponto");
    }
    return {};
}

// Why a viewBox cannot place the drawing, empty when it can or when it is
// no viewBox at all (not four numbers, which the renderer ignores).
QString viewBoxFault(const QString& text) {
    const std::vector<double> v = svgNumbers(text);
    if (v.size() != 4) return {};
    if (!std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); }))
        return QStringLiteral("número infinito ou que não é um número");
    if (!(v[2] > 0 && v[3] > 0)) return QStringLiteral("largura ou altura nula ou negativa");
    return {};
}

// Why a page length cannot size the page, empty when it can, or when it is
// absent or a percentage (the viewBox then sizes the page).
QString pageLengthFault(const QString& text) {
    static const QRegularExpression word(QStringLiteral(R"(^\s*[-+]?(?:nan|inf))"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (word.match(text).hasMatch()) return QStringLiteral("não é um número finito");
    bool unknownUnit = false;
    const std::optional<double> mm = lengthMm(text, unknownUnit);
    if (!mm) return {};
    if (!std::isfinite(*mm)) return QStringLiteral("não é um número finito");
    if (!(*mm >= kSmallestPageMm)) return QStringLiteral("é nula, negativa ou menor que 0,001 mm");
    return {};
}

// Elements that are never drawn here and whose reading would open a file.
bool opensAFile(QStringView name) {
    return name == QLatin1String("image") || name == QLatin1String("feImage") ||
           name == QLatin1String("video") || name == QLatin1String("audio") ||
           name == QLatin1String("animation");
}

// Whether an element points outside the drawing: an href that is not "#id"
// (a link, <a>, only wraps what it holds and is kept).
bool pointsOutside(QStringView name, const QXmlStreamAttributes& attributes) {
    if (name == QLatin1String("a")) return false;
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.name() != QLatin1String("href")) continue;
        const QStringView v = a.value().trimmed();
        if (!v.isEmpty() && !v.startsWith(QLatin1Char('#'))) return true;
    }
    return false;
}

// Why an element's transform or viewBox cannot be followed, with the
// attribute; empty when they can.
QString attributeFault(const QXmlStreamAttributes& a) {
    const QString transform = a.value(QLatin1String("transform")).toString();
    if (QString why = transformFault(transform); !why.isEmpty())
        return QStringLiteral("Transformação impossível (%1): %2").arg(why, quoted(QStringLiteral("transform"), transform));
    // A transform can stand in the style attribute too.
    static const QRegularExpression styled(QStringLiteral(R"((?:^|;)\s*transform\s*:\s*([^;]*))"));
    const QString style = a.value(QLatin1String("style")).toString();
    if (QString why = transformFault(styled.match(style).captured(1)); !why.isEmpty())
        return QStringLiteral("Transformação impossível (%1): %2").arg(why, quoted(QStringLiteral("style"), style));
    const QString box = a.value(QLatin1String("viewBox")).toString();
    if (QString why = viewBoxFault(box); !why.isEmpty())
        return QStringLiteral("viewBox impossível (%1): %2").arg(why, quoted(QStringLiteral("viewBox"), box));
    return {};
}

// What the XML says that the renderer does not: whether it is well-formed
// SVG, the page, and the text. The drawing comes back without its text,
// which would need fonts and is not drawn anyway, and without clip paths
// and masks.
struct Reading {
    QString error;
    QByteArray drawing;
    QString width, height, viewBox, aspect;
    long long texts = 0;
    long long images = 0;
    long long outside = 0;       // elements pointing outside the drawing, left out
    long long rootLine = 0;      // where the <svg> element is
    long long longestPathLine = 0;  // where the path with the most data is
};

Reading readXml(const QByteArray& in) {
    Reading r;
    QXmlStreamReader xml(in);
    QXmlStreamWriter out(&r.drawing);
    int skipping = 0;  // depth inside a text element
    bool root = true;
    qsizetype longestPath = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.hasError()) break;
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (root) {
                root = false;
                if (name != QLatin1String("svg")) {
                    r.error = QStringLiteral("O arquivo XML não é um desenho SVG (o elemento raiz é <%1>).")
                                  .arg(name.toString());
                    return r;
                }
                const QXmlStreamAttributes a = xml.attributes();
                r.width = a.value(QLatin1String("width")).toString();
                r.height = a.value(QLatin1String("height")).toString();
                r.viewBox = a.value(QLatin1String("viewBox")).toString();
                r.aspect = a.value(QLatin1String("preserveAspectRatio")).toString();
                r.rootLine = xml.lineNumber();
            }
            if (skipping > 0) {
                ++skipping;
                continue;
            }
            if (name == QLatin1String("text") || name == QLatin1String("flowRoot")) {
                ++r.texts;
                skipping = 1;
                continue;
            }
            // Clip paths and masks shape what shows, they are no lines:
            // the renderer would draw them as shapes of their own.
            if (name == QLatin1String("clipPath") || name == QLatin1String("mask")) {
                skipping = 1;
                continue;
            }
            if (name == QLatin1String("image")) ++r.images;
            // Nothing outside the drawing is opened: the renderer would read
            // the file an image names (a FIFO would hold it up for ever), and
            // images are not drawn anyway.
            if (opensAFile(name) || pointsOutside(name, xml.attributes())) {
                if (name != QLatin1String("image")) ++r.outside;
                skipping = 1;
                continue;
            }
            if (const QString fault = attributeFault(xml.attributes()); !fault.isEmpty()) {
                r.error = QStringLiteral("%1, no elemento <%2> da linha %3.")
                              .arg(fault, name.toString())
                              .arg(xml.lineNumber());
                return r;
            }
            if (name == QLatin1String("path")) {
                const qsizetype size = xml.attributes().value(QLatin1String("d")).size();
                if (size > longestPath) {
                    longestPath = size;
                    r.longestPathLine = xml.lineNumber();
                }
            }
        } else if (xml.isEndElement() && skipping > 0) {
            --skipping;
            continue;
        }
        // A processing instruction can name a style sheet, which the
        // renderer would open.
        if (skipping == 0 && !xml.isDTD() && !xml.isProcessingInstruction()) out.writeCurrentToken(xml);
    }
    if (xml.hasError()) {
        r.error = QStringLiteral("O arquivo não é XML bem-formado: %1 (linha %2, coluna %3).")
                      .arg(xml.errorString())
                      .arg(xml.lineNumber())
                      .arg(xml.columnNumber());
    } else if (root) {
        r.error = QStringLiteral("O arquivo não contém nenhum elemento XML.");
    }
    return r;
}

// Where the viewBox goes on a page of w x h: scaled alike in both directions
// and aligned as preserveAspectRatio says (by default centred, whole), or
// stretched over the page for "none".
QRectF placeViewBox(const QRectF& box, double w, double h, const QString& aspect) {
    const QStringList words = aspect.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString align = words.isEmpty() ? QStringLiteral("xMidYMid") : words[0];
    if (align == QLatin1String("none")) return {0, 0, w, h};
    const bool slice = words.size() > 1 && words[1] == QLatin1String("slice");
    const double sx = w / box.width(), sy = h / box.height();
    const double s = slice ? std::max(sx, sy) : std::min(sx, sy);
    const double bw = box.width() * s, bh = box.height() * s;
    const auto at = [&](const char* min, const char* max, double room) {
        if (align.contains(QLatin1String(min))) return 0.0;
        if (align.contains(QLatin1String(max))) return room;
        return room / 2;
    };
    return {at("xMin", "xMax", w - bw), at("YMin", "YMax", h - bh), bw, bh};
}

// The SVG reader tells on its logging channel what it does not understand.
// While a drawing is read, what it tells on the reading thread is counted for
// the summary instead of going to the terminal; every other message goes on
// to the handler that was there. One drawing is read at a time.
class ReaderWarnings {
public:
    ReaderWarnings() : lock_(mutex()) {
        current().store(this);
        previous().store(qInstallMessageHandler(&ReaderWarnings::handle));
    }
    ~ReaderWarnings() {
        qInstallMessageHandler(previous().load());
        current().store(nullptr);
    }
    ReaderWarnings(const ReaderWarnings&) = delete;
    ReaderWarnings& operator=(const ReaderWarnings&) = delete;

    long long count() const { return count_; }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::atomic<ReaderWarnings*>& current() {
        static std::atomic<ReaderWarnings*> c{nullptr};
        return c;
    }
    static std::atomic<QtMessageHandler>& previous() {
        static std::atomic<QtMessageHandler> p{nullptr};
        return p;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        ReaderWarnings* w = current().load();
        if (w != nullptr && std::this_thread::get_id() == w->thread_ && context.category != nullptr &&
            std::strncmp(context.category, "qt.svg", 6) == 0) {
            ++w->count_;
            return;
        }
        if (const QtMessageHandler next = previous().load(); next != nullptr)
            next(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }

    std::lock_guard<std::mutex> lock_;
    std::thread::id thread_ = std::this_thread::get_id();
    long long count_ = 0;
};

// The refusal of a drawing drawn through a transform that no attribute
// gives alone.
constexpr const char* kImpossibleTransform =
    "Transformação impossível: uma folha de estilo (<style>), ou transformações que uma dentro da outra, "
    "achatam o desenho numa linha ou num ponto ou o aumentam além de qualquer número.";

// The refusal of a drawing with a path the SVG reader does not read whole.
std::string cutPathMessage(long long longestPathLine) {
    return "Um caminho (<path>) do SVG passa de " + std::to_string(kReaderPathElements) +
           " elementos, o máximo que o leitor de SVG lê de um caminho: o resto dele se perderia"
           " (o caminho mais longo está na linha " +
           std::to_string(longestPathLine) + "). Divida-o em caminhos menores no programa de desenho.";
}

// What the summary says of the elements hidden and of those kept though
// they do not show.
void AddVisibilityNotes(DrawingSummary& s, const ShownDrawing& shown) {
    if (shown.hidden == 1) s.notes.emplace_back("1 elemento oculto não foi convertido.");
    if (shown.hidden > 1) s.notes.push_back(std::to_string(shown.hidden) + " elementos ocultos não foram convertidos.");
    if (shown.invisible == 1)
        s.notes.emplace_back("1 elemento invisível (opacidade 0) foi convertido como os outros.");
    if (shown.invisible > 1)
        s.notes.push_back(std::to_string(shown.invisible) +
                          " elementos invisíveis (opacidade 0) foram convertidos como os outros.");
}

}  // namespace

DrawingResult ConvertSvg(std::string_view input, const SvgOptions& options) {
    DrawingResult result;
    const Reading xml = readXml(QByteArray(input.data(), static_cast<qsizetype>(input.size())));
    if (!xml.error.isEmpty()) {
        result.error = xml.error.toStdString();
        return result;
    }

    const ReaderWarnings warnings;
    const ShownDrawing shown = KeepShown(xml.drawing);
    QSvgRenderer renderer;
    if (!renderer.load(shown.drawing)) {
        result.error = "O arquivo SVG não pôde ser lido.";
        return result;
    }
    const std::pair<QString, QString> lengths[] = {{QStringLiteral("width"), xml.width},
                                                   {QStringLiteral("height"), xml.height}};
    for (const auto& [name, length] : lengths) {
        if (const QString why = pageLengthFault(length); !why.isEmpty()) {
            result.error = QStringLiteral("A página do SVG não tem tamanho (%1 %2), no elemento <svg> da linha %3.")
                               .arg(quoted(name, length), why)
                               .arg(xml.rootLine)
                               .toStdString();
            return result;
        }
    }
    bool unknownUnit = false;
    const std::optional<QRectF> box = viewBox(xml.viewBox);
    std::optional<double> w = lengthMm(xml.width, unknownUnit);
    std::optional<double> h = lengthMm(xml.height, unknownUnit);
    const QSizeF fallback = box ? box->size() : QSizeF(renderer.defaultSize());
    if (!w) w = fallback.width() * kMmPerPx;
    if (!h) h = fallback.height() * kMmPerPx;
    if (!(*w >= kSmallestPageMm && *h >= kSmallestPageMm && std::isfinite(*w) && std::isfinite(*h))) {
        result.error = "O SVG não diz o tamanho da página (width, height ou viewBox).";
        return result;
    }
    // Without a viewBox user units are px, whatever the page's unit.
    if (!box) renderer.setViewBox(QRectF(0, 0, *w / kMmPerPx, *h / kMmPerPx));

    const double pageW = *w * kUnitsPerMm;
    const double pageH = *h * kUnitsPerMm;
    const QRectF target = box ? placeViewBox(*box, pageW, pageH, xml.aspect) : QRectF(0, 0, pageW, pageH);
    const auto render = [&](RecordingDevice& on) {
        QPainter painter(&on);
        renderer.render(&painter, target);
    };
    // The drawing is first only counted, keeping nothing, when its output is
    // bounded: one that would pass the bound is refused before it takes any
    // memory. What the reader says while rendering is counted once.
    long long renderWarnings = 0;
    if (options.maxStatements > 0) {
        RecordingDevice counter;
        counter.engine().counting = true;
        counter.engine().bound = options.maxStatements;
        const long long before = warnings.count();
        render(counter);
        renderWarnings = warnings.count() - before;
        if (counter.engine().cut || counter.engine().impossible) {
            result.error = counter.engine().cut ? cutPathMessage(xml.longestPathLine) : kImpossibleTransform;
            return result;
        }
        if (counter.engine().over()) return TooManyStatements(counter.engine().points + 1, options.maxStatements);
    }
    RecordingDevice device;
    render(device);
    const RecordingEngine& rec = device.engine();
    if (rec.cut || rec.impossible) {
        result.error = rec.cut ? cutPathMessage(xml.longestPathLine) : kImpossibleTransform;
        return result;
    }

    PlotWriter out;
    for (const Polyline& line : rec.lines) {
        out.pen(false);
        bool first = true;
        for (const QPointF& p : line) {
            const double x = p.x(), y = pageH - p.y();
            if (!first && std::fabs(x - out.x()) < 1e-6 && std::fabs(y - out.y()) < 1e-6) continue;
            if (!out.point(x, y)) {
                result.error = "Coordenada fora do alcance (mais de 1073741824 unidades) no SVG.";
                return result;
            }
            if (first) out.pen(true);
            first = false;
        }
    }
    out.pen(false);
    out.finish();
    if (!out.milled()) {
        result.error = "O SVG não tem nada a desenhar (nenhum traço ou contorno visível).";
        return result;
    }
    DrawingSummary& s = result.summary;
    s.statements = out.statements;
    s.extent = out.extent;
    s.notes.push_back("Página de " + FormatHumanNumber(*w) + " x " + FormatHumanNumber(*h) +
                      " mm, origem no canto inferior esquerdo; " + std::to_string(rec.lines.size()) +
                      " contorno(s) seguido(s).");
    if (xml.texts > 0)
        s.notes.push_back(std::to_string(xml.texts) +
                          " texto(s) não desenhado(s): converta o texto em curvas no programa de desenho.");
    AddVisibilityNotes(s, shown);
    if (xml.images > 0) s.notes.push_back(std::to_string(xml.images) + " imagem(ns) não desenhada(s).");
    if (xml.outside > 0)
        s.notes.push_back(std::to_string(xml.outside) +
                          " elemento(s) que aponta(m) para fora do desenho (href), não lido(s).");
    if (warnings.count() > renderWarnings)
        s.notes.push_back("Atenção: o leitor de SVG avisou " + std::to_string(warnings.count() - renderWarnings) +
                          " vez(es) de algo que não entende (elementos ou atributos que não lê); confira o desenho.");
    if (unknownUnit) s.notes.emplace_back("Unidade da página desconhecida (em, ex): lida como px.");
    result.ok = true;
    result.text = std::move(out.text);
    return result;
}

}  // namespace pm
