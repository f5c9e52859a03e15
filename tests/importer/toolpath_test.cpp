// The shortest tool-up path: the same cuts in another order, never more
// travel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "importer/Drawing.h"
#include "importer/ToolPath.h"
#include "tests/importer/PlotText.h"

namespace pm {
namespace {

constexpr double kJoin = kJoinMm / kPlotUnitMm;

struct Segment {
    double ax, ay, bx, by;
    double length() const { return std::hypot(bx - ax, by - ay); }
    bool operator<(const Segment& o) const {
        return std::tie(ax, ay, bx, by) < std::tie(o.ax, o.ay, o.bx, o.by);
    }
    bool operator==(const Segment& o) const = default;
};

// What a plot text mills, read apart from the code under test: every
// tool-down segment, either way round, a plunge as a segment of no length;
// and the travel with the tool up from the origin.
struct Milled {
    std::vector<Segment> segments;  // sorted, each from its smaller end
    double travel = 0;
};

Milled ReadMilled(const std::string& text) {
    Milled m;
    double x = 0, y = 0;
    bool plunge = false;
    const auto add = [&](double ax, double ay, double bx, double by) {
        if (std::tie(bx, by) < std::tie(ax, ay)) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        m.segments.push_back({ax, ay, bx, by});
    };
    for (const test::Statement& s : test::ReadPlot(text)) {
        if (s.down && !s.hasPoint) plunge = true;
        if (s.down && s.hasPoint) {
            add(x, y, s.x, s.y);
            plunge = false;
        }
        if (!s.down) {
            if (plunge) add(x, y, x, y);
            plunge = false;
            if (s.hasPoint) m.travel += std::hypot(s.x - x, s.y - y);
        }
        if (s.hasPoint) {
            x = s.x;
            y = s.y;
        }
    }
    if (plunge) add(x, y, x, y);
    std::sort(m.segments.begin(), m.segments.end());
    return m;
}

// A drawing of the shapes converters write, in random order: open and
// closed strokes, plunges, strokes that continue another exactly or within
// the join distance, and some just beyond it; travel through points of its
// own; the first stroke at the origin.
std::string GeneratedDrawing(std::uint32_t seed, int count) {
    std::mt19937 rng(seed);
    const auto coord = [&] { return static_cast<double>(rng() % 4001); };
    std::vector<Stroke> strokes;
    strokes.push_back({{0, 0}, {coord(), coord()}});
    for (int k = 1; k < count; ++k) {
        const Stroke& last = strokes.back();
        Stroke s;
        switch (rng() % 7) {
            case 0: s = {{coord(), coord()}}; break;
            case 1: {
                const PlotPoint c{coord(), coord()};
                s = {c, {c.x + 50, c.y}, {c.x + 50, c.y + 30}, {c.x, c.y + 30}, c};
                break;
            }
            case 2: s = {last.back(), {coord(), coord()}}; break;
            case 3: s = {{last.back().x + 1.5, last.back().y + 0.25}, {coord(), coord()}}; break;
            case 4: s = {{coord(), coord()}, {last.front().x, last.front().y + 2.5}}; break;
            default:
                for (std::uint32_t n = 2 + rng() % 4; n > 0; --n) s.push_back({coord(), coord()});
        }
        strokes.push_back(std::move(s));
    }
    std::shuffle(strokes.begin() + 1, strokes.end(), rng);
    PlotWriter out;
    for (const Stroke& s : strokes) {
        out.pen(false);
        if (rng() % 5 == 0) out.point(coord(), coord());  // a detour with the tool up
        if (s.front() != PlotPoint{out.x(), out.y()}) out.point(s.front().x, s.front().y);
        out.pen(true);
        for (std::size_t k = 1; k < s.size(); ++k) out.point(s[k].x, s[k].y);
    }
    out.pen(false);
    out.finish();
    return out.text;
}

TEST(ShortenToolPath, SameCutsLessTravelOverGeneratedDrawings) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        DrawingResult r;
        r.ok = true;
        r.text = GeneratedDrawing(seed, 10 + static_cast<int>(seed * 7 % 300));
        const Milled before = ReadMilled(r.text);
        ShortenToolPath(r);
        const Milled after = ReadMilled(r.text);

        // Every segment milled before is milled after; what is added are
        // joins no longer than the join distance.
        std::vector<Segment> added;
        std::set_difference(after.segments.begin(), after.segments.end(), before.segments.begin(),
                            before.segments.end(), std::back_inserter(added));
        EXPECT_EQ(after.segments.size() - added.size(), before.segments.size()) << "seed " << seed;
        EXPECT_TRUE(std::includes(after.segments.begin(), after.segments.end(), before.segments.begin(),
                                  before.segments.end()))
            << "seed " << seed;
        for (const Segment& s : added) {
            EXPECT_GT(s.length(), 0) << "seed " << seed;
            EXPECT_LE(s.length(), kJoin + 1e-9) << "seed " << seed;
        }
        EXPECT_LE(after.travel, before.travel) << "seed " << seed;
        EXPECT_LT(after.travel, before.travel * 0.5) << "seed " << seed << ": a shuffled drawing gains";

        // The summary says the travel read here.
        const std::string note = r.summary.notes.back();
        const auto mm = [](double units) { return FormatHumanNumber(std::round(units * kPlotUnitMm * 10) / 10); };
        EXPECT_NE(note.find("de " + mm(before.travel) + " mm para " + mm(after.travel) + " mm"), std::string::npos)
            << note;
        EXPECT_EQ(r.summary.statements, static_cast<long long>(test::ReadPlot(r.text).size()));
    }
}

TEST(ShortenToolPath, JoinsReversesAndTurns) {
    const struct {
        const char* name;
        const char* in;
        const char* out;
    } cases[] = {
        {"reversed_where_its_end_is_nearer", "PU1000,0;PD100,0;PU;", "PU100,0;PD1000,0;PU;"},
        {"joined_within_0.05_mm", "PD100,0;PU101.9,0;PD200,0;PU;", "PD100,0;PD101.9,0;PD200,0;PU;"},
        {"not_joined_beyond", "PD100,0;PU102.1,0;PD200,0;PU;", "PD100,0;PU102.1,0;PD200,0;PU;"},
        {"closed_started_at_its_nearest_point",
         "PU2000,2000;PD1000,2000;PD1000,1000;PD2000,1000;PD2000,2000;PU;",
         "PU1000,1000;PD2000,1000;PD2000,2000;PD1000,2000;PD1000,1000;PU;"},
        {"plunges_stay_plunges", "PU500,0;PD;PU100,0;PD;PU;", "PU100,0;PD;PU500,0;PD;PU;"},
        {"the_order_given_kept_when_no_shorter", "PU100,0;PD200,0;PU300,0;PD400,0;PU;",
         "PU100,0;PD200,0;PU300,0;PD400,0;PU;"},
    };
    for (const auto& c : cases) {
        DrawingResult r;
        r.ok = true;
        r.text = c.in;
        ShortenToolPath(r);
        EXPECT_EQ(r.text, c.out) << c.name;
    }
    DrawingResult r;
    r.ok = true;
    r.text = cases[0].in;
    ShortenToolPath(r);
    EXPECT_EQ(r.summary.notes.back(),
              "Percurso otimizado: deslocamento com a ferramenta levantada de 25 mm para 2.5 mm; "
              "levantamentos de 1 para 1.");
}

}  // namespace
}  // namespace pm
