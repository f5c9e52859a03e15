#include "importer_svg/Svg.h"

#include "importer_svg/SvgVisibility.h"

#include <QByteArray>
#include <QLoggingCategory>
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
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace pm {

namespace {

constexpr double kUnitsPerMm = 1 / kPlotUnitMm;
constexpr double kMmPerPx = 25.4 / 96;
// Curves become chords no farther than this from the curve, plot units.
constexpr double kTolerance = 0.01 * kUnitsPerMm;

using Polyline = std::vector<QPointF>;

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

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyTransform) transform_ = state.transform();
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
        if (line.size() >= 2 && (lines.empty() || lines.back() != line)) lines.push_back(std::move(line));
        line.clear();
    }
    void keep(Polyline&& line) { keep(line); }

    QTransform transform_;
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
    const double v = m.captured(1).toDouble();
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
};

Reading readXml(const QByteArray& in) {
    Reading r;
    QXmlStreamReader xml(in);
    QXmlStreamWriter out(&r.drawing);
    int skipping = 0;  // depth inside a text element
    bool root = true;
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
        } else if (xml.isEndElement() && skipping > 0) {
            --skipping;
            continue;
        }
        if (skipping == 0 && !xml.isDTD()) out.writeCurrentToken(xml);
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

DrawingResult ConvertSvg(std::string_view input) {
    DrawingResult result;
    const Reading xml = readXml(QByteArray(input.data(), static_cast<qsizetype>(input.size())));
    if (!xml.error.isEmpty()) {
        result.error = xml.error.toStdString();
        return result;
    }

    // QtSvg speaks of what it does not support on its own channel; the
    // summary says what matters to the operator.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.svg*=false"));
    const ShownDrawing shown = KeepShown(xml.drawing);
    QSvgRenderer renderer;
    if (!renderer.load(shown.drawing)) {
        result.error = "O arquivo SVG não pôde ser lido.";
        return result;
    }
    bool unknownUnit = false;
    const std::optional<QRectF> box = viewBox(xml.viewBox);
    std::optional<double> w = lengthMm(xml.width, unknownUnit);
    std::optional<double> h = lengthMm(xml.height, unknownUnit);
    const QSizeF fallback = box ? box->size() : QSizeF(renderer.defaultSize());
    if (!w) w = fallback.width() * kMmPerPx;
    if (!h) h = fallback.height() * kMmPerPx;
    if (!(*w > 0 && *h > 0 && std::isfinite(*w) && std::isfinite(*h))) {
        result.error = "O SVG não diz o tamanho da página (width, height ou viewBox).";
        return result;
    }
    // Without a viewBox user units are px, whatever the page's unit.
    if (!box) renderer.setViewBox(QRectF(0, 0, *w / kMmPerPx, *h / kMmPerPx));

    const double pageW = *w * kUnitsPerMm;
    const double pageH = *h * kUnitsPerMm;
    RecordingDevice device;
    {
        QPainter painter(&device);
        renderer.render(&painter, box ? placeViewBox(*box, pageW, pageH, xml.aspect) : QRectF(0, 0, pageW, pageH));
    }
    const RecordingEngine& rec = device.engine();

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
    if (unknownUnit) s.notes.emplace_back("Unidade da página desconhecida (em, ex): lida como px.");
    result.ok = true;
    result.text = std::move(out.text);
    return result;
}

}  // namespace pm
