#include "importer_svg/SvgVisibility.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace pm {

namespace {

// The three properties that decide whether an element shows.
enum Property { kDisplay, kVisibility, kOpacity, kProperties };
constexpr std::array<const char*, kProperties> kPropertyNames{"display", "visibility", "opacity"};

std::optional<int> propertyIndex(const QString& name) {
    for (int k = 0; k < kProperties; ++k)
        if (name == QLatin1String(kPropertyNames[static_cast<std::size_t>(k)])) return k;
    return std::nullopt;
}

// One simple selector of a style sheet: an element name or none, classes
// and an id, all of which must match.
struct Selector {
    QString type;  // empty: any element
    QStringList classes;
    QString id;
    int specificity = 0;
};

struct Rule {
    Selector selector;
    int property = 0;
    QString value;
    bool important = false;
    int order = 0;
};

// "display:none; fill:red" into its declarations of the properties above,
// in order; "!important" is reported apart.
struct Declaration {
    int property;
    QString value;
    bool important;
};

std::vector<Declaration> declarations(const QString& block) {
    std::vector<Declaration> out;
    for (const QString& part : block.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype colon = part.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        const std::optional<int> p = propertyIndex(part.left(colon).trimmed().toLower());
        if (!p) continue;
        QString value = part.mid(colon + 1).trimmed().toLower();
        bool important = false;
        if (value.endsWith(QLatin1String("!important"))) {
            value.chop(10);
            value = value.trimmed();
            important = true;
        }
        out.push_back({*p, value, important});
    }
    return out;
}

std::optional<Selector> parseSelector(const QString& text) {
    static const QRegularExpression re(QStringLiteral(R"(^([A-Za-z_][\w-]*|\*)?((?:[.#][\w-]+)*)$)"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch() || text.trimmed().isEmpty()) return std::nullopt;
    Selector s;
    if (m.captured(1) != QLatin1String("*")) s.type = m.captured(1);
    if (!s.type.isEmpty()) s.specificity += 1;
    static const QRegularExpression part(QStringLiteral(R"([.#][\w-]+)"));
    for (auto it = part.globalMatch(m.captured(2)); it.hasNext();) {
        const QString p = it.next().captured(0);
        if (p.front() == QLatin1Char('.')) {
            s.classes.push_back(p.mid(1));
            s.specificity += 100;
        } else {
            s.id = p.mid(1);
            s.specificity += 10000;
        }
    }
    return s;
}

// The rules of the style sheets that set the properties above. Selectors
// with combinators, attributes or pseudo-classes are left to the renderer.
std::vector<Rule> parseStyleSheet(QString css) {
    static const QRegularExpression comment(QStringLiteral(R"(/\*.*?\*/)"),
                                            QRegularExpression::DotMatchesEverythingOption);
    css.remove(comment);
    std::vector<Rule> rules;
    qsizetype i = 0;
    int order = 0;
    while (i < css.size()) {
        const qsizetype open = css.indexOf(QLatin1Char('{'), i);
        if (open < 0) break;
        const QString head = css.mid(i, open - i).trimmed();
        // The block, with any nested blocks (an @media's rules).
        qsizetype depth = 1, close = open + 1;
        for (; close < css.size() && depth > 0; ++close) {
            if (css[close] == QLatin1Char('{')) ++depth;
            if (css[close] == QLatin1Char('}')) --depth;
        }
        const QString block = css.mid(open + 1, close - open - 2);
        i = close;
        // An at-rule before this one ends at its ";" ("@import ...;").
        const QString selectors = head.mid(head.lastIndexOf(QLatin1Char(';')) + 1).trimmed();
        if (selectors.startsWith(QLatin1Char('@'))) continue;
        const std::vector<Declaration> decls = declarations(block);
        if (decls.empty()) continue;
        for (const QString& one : selectors.split(QLatin1Char(','))) {
            const std::optional<Selector> s = parseSelector(one);
            if (!s) continue;
            for (const Declaration& d : decls) rules.push_back({*s, d.property, d.value, d.important, order++});
        }
    }
    return rules;
}

bool matches(const Selector& s, const QString& name, const QStringList& classes, const QString& id) {
    if (!s.type.isEmpty() && s.type != name) return false;
    if (!s.id.isEmpty() && s.id != id) return false;
    return std::all_of(s.classes.begin(), s.classes.end(), [&](const QString& c) { return classes.contains(c); });
}

bool isDrawing(QStringView name) {
    static const std::array<const char*, 9> names{"path", "rect",  "circle", "ellipse", "line",
                                                   "polyline", "polygon", "use", "image"};
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == QLatin1String(n); });
}

// Elements that are never drawn where they stand, only through a reference:
// what is inside them is a template.
bool isTemplate(QStringView name) {
    static const std::array<const char*, 6> names{"defs", "symbol", "marker", "pattern", "clipPath", "mask"};
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == QLatin1String(n); });
}

// Elements that display and visibility do not take away.
bool isUnrendered(QStringView name) {
    static const std::array<const char*, 8> names{"style",          "title",          "desc",   "metadata",
                                                   "linearGradient", "radialGradient", "filter", "script"};
    return isTemplate(name) ||
           std::any_of(names.begin(), names.end(), [&](const char* n) { return name == QLatin1String(n); });
}

bool zeroOpacity(const QString& v) {
    bool ok = false;
    double x = 0;
    if (v.endsWith(QLatin1Char('%')))
        x = v.chopped(1).toDouble(&ok) / 100;
    else
        x = v.toDouble(&ok);
    return ok && x <= 0;
}

class Filter {
public:
    explicit Filter(const QByteArray& in) : in_(in) {}

    ShownDrawing run() {
        collectStyleSheets();
        QXmlStreamReader xml(in_);
        QXmlStreamWriter out(&shown_.drawing);
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.hasError()) break;
            if (xml.isStartElement()) {
                start(xml, out);
            } else {
                if (xml.isEndElement() && !stack_.empty()) stack_.pop_back();
                out.writeCurrentToken(xml);
            }
        }
        return std::move(shown_);
    }

private:
    struct Context {
        bool hiddenVisibility = false;  // inherited visibility is hidden or collapse
        bool zeroOpacity = false;       // an ancestor is at an opacity of 0
        bool inTemplate = false;
    };

    void collectStyleSheets() {
        QXmlStreamReader xml(in_);
        QString css;
        int inStyle = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("style")) ++inStyle;
            if (xml.isEndElement() && xml.name() == QLatin1String("style")) --inStyle;
            if (xml.isCharacters() && inStyle > 0) {
                css += xml.text();
                css += QLatin1Char('\n');
            }
        }
        rules_ = parseStyleSheet(css);
    }

    // The declared value of each property: an important style-sheet rule,
    // then the style attribute, then the style sheet, then the attribute.
    std::array<std::optional<QString>, kProperties> cascade(const QXmlStreamReader& xml) const {
        const QXmlStreamAttributes a = xml.attributes();
        const QString name = xml.name().toString();
        const QStringList classes = a.value(QLatin1String("class")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString id = a.value(QLatin1String("id")).toString();
        std::array<std::optional<QString>, kProperties> out;
        std::array<const Rule*, kProperties> best{}, bestImportant{};
        for (const Rule& r : rules_) {
            if (!matches(r.selector, name, classes, id)) continue;
            const auto p = static_cast<std::size_t>(r.property);
            const Rule*& slot = r.important ? bestImportant[p] : best[p];
            if (slot == nullptr || r.selector.specificity >= slot->selector.specificity) slot = &r;
        }
        const std::vector<Declaration> inline_ = declarations(a.value(QLatin1String("style")).toString());
        for (std::size_t p = 0; p < kProperties; ++p) {
            if (bestImportant[p] != nullptr) {
                out[p] = bestImportant[p]->value;
                continue;
            }
            for (const Declaration& d : inline_)
                if (static_cast<std::size_t>(d.property) == p) out[p] = d.value;
            if (out[p]) continue;
            if (best[p] != nullptr) {
                out[p] = best[p]->value;
                continue;
            }
            if (a.hasAttribute(QLatin1String(kPropertyNames[p])))
                out[p] = a.value(QLatin1String(kPropertyNames[p])).toString().trimmed().toLower();
        }
        return out;
    }

    void start(QXmlStreamReader& xml, QXmlStreamWriter& out) {
        const Context parent = stack_.empty() ? Context{} : stack_.back();
        const QStringView name = xml.name();
        const bool root = stack_.empty();
        Context here = parent;
        if (isTemplate(name)) here.inTemplate = true;
        const auto decl = cascade(xml);
        const bool rendered = !root && !isUnrendered(name);
        const bool drawing = isDrawing(name) && !parent.inTemplate;

        if (rendered && decl[kDisplay] == QLatin1String("none")) {
            skip(xml, !parent.inTemplate);
            return;
        }
        bool clearVisibility = false;
        if (!parent.inTemplate) {
            const std::optional<QString>& v = decl[kVisibility];
            if (v == QLatin1String("hidden") || v == QLatin1String("collapse"))
                here.hiddenVisibility = true;
            else if (v == QLatin1String("visible"))
                here.hiddenVisibility = false;
            if (here.hiddenVisibility && drawing) {
                ++shown_.hidden;
                skip(xml, false);
                return;
            }
            // This filter has taken out what the inherited visibility hides;
            // the renderer, which hides a group's every child, must not.
            clearVisibility = v.has_value() || parent.hiddenVisibility;
        }
        const bool ownZero = decl[kOpacity] && zeroOpacity(*decl[kOpacity]);
        here.zeroOpacity = parent.zeroOpacity || ownZero;
        if (drawing && here.zeroOpacity) ++shown_.invisible;

        stack_.push_back(here);
        // Names are written as they stand, namespace declarations as
        // attributes: the writer's own namespace handling would declare
        // them twice. A hidden ancestor's visibility and an opacity of 0
        // are cleared.
        out.writeStartElement(xml.qualifiedName().toString());
        for (const auto& ns : xml.namespaceDeclarations()) {
            const QString prefix = ns.prefix().toString();
            out.writeAttribute(prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
                               ns.namespaceUri().toString());
        }
        for (const QXmlStreamAttribute& at : xml.attributes()) {
            const QStringView n = at.qualifiedName();
            if ((clearVisibility && n == QLatin1String("visibility")) || (ownZero && n == QLatin1String("opacity")))
                continue;
            if (n == QLatin1String("style")) {
                out.writeAttribute(at.qualifiedName().toString(),
                                   withoutDeclarations(at.value().toString(), clearVisibility, ownZero));
                continue;
            }
            out.writeAttribute(at.qualifiedName().toString(), at.value().toString());
        }
        if (clearVisibility) out.writeAttribute(QStringLiteral("visibility"), QStringLiteral("visible"));
        if (ownZero) out.writeAttribute(QStringLiteral("opacity"), QStringLiteral("1"));
    }

    static QString withoutDeclarations(const QString& style, bool visibility, bool opacity) {
        QStringList kept;
        for (const QString& part : style.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString prop = part.left(part.indexOf(QLatin1Char(':'))).trimmed().toLower();
            if ((visibility && prop == QLatin1String("visibility")) || (opacity && prop == QLatin1String("opacity")))
                continue;
            kept.push_back(part);
        }
        return kept.join(QLatin1Char(';'));
    }

    // Reads past the element the reader stands on, counting the drawing
    // elements inside it when count is set.
    void skip(QXmlStreamReader& xml, bool count) {
        int depth = 1;
        int templates = 0;
        if (count && isDrawing(xml.name())) ++shown_.hidden;
        while (depth > 0 && !xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                ++depth;
                if (isTemplate(xml.name())) ++templates;
                if (count && templates == 0 && isDrawing(xml.name())) ++shown_.hidden;
            } else if (xml.isEndElement()) {
                --depth;
                if (isTemplate(xml.name())) --templates;
            }
        }
    }

    const QByteArray& in_;
    std::vector<Rule> rules_;
    std::vector<Context> stack_;
    ShownDrawing shown_;
};

}  // namespace

ShownDrawing KeepShown(const QByteArray& in) { return Filter(in).run(); }

}  // namespace pm
