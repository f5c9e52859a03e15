#include "importer/ToolPath.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <sstream>
#include <utility>

namespace pm {

namespace {

// Without hypot's care for overflow: plot coordinates are far below it, and
// ordering a large drawing measures distances a hundred million times.
double dist(const PlotPoint& a, const PlotPoint& b) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

// A reversal of more strokes than this is not tried: it would cost more time
// than the travel it saves is worth on large drawings.
constexpr std::size_t kMaxReversal = 1000;
// Candidates per stroke end for the improvement.
constexpr std::size_t kNeighbours = 8;
// Passes of the improvement at most; each finds less than the one before.
constexpr int kMaxPasses = 10;
// Gains smaller than this (plot units) are not gains: the order settles.
constexpr double kGain = 1e-7;

bool closedStroke(const Stroke& s) { return s.size() >= 3 && s.front() == s.back(); }

// Where a stroke is entered from: an end, or any point of a closed one.
struct Entry {
    PlotPoint at;
    std::uint32_t stroke;
    std::int32_t vertex;  // -1 the first point, -2 the last (reversed), else a closed stroke's point
};

// A uniform grid over a set of entries, for nearest searches; entries of
// strokes taken are dropped as they are met.
class Grid {
public:
    Grid(std::vector<Entry> entries, PlotPoint origin) : entries_(std::move(entries)) {
        DrawingExtent box;
        box.add(origin.x, origin.y);
        for (const Entry& e : entries_) box.add(e.at.x, e.at.y);
        const double minX = box.minX, maxX = box.maxX, minY = box.minY, maxY = box.maxY;
        minX_ = minX;
        minY_ = minY;
        // About two entries a cell.
        const double area = std::max((maxX - minX) * (maxY - minY), 1.0);
        cell_ = std::max(std::sqrt(2 * area / static_cast<double>(std::max<std::size_t>(entries_.size(), 1))), 1e-3);
        cell_ = std::max({cell_, (maxX - minX) / 4096, (maxY - minY) / 4096});
        cols_ = static_cast<long>((maxX - minX) / cell_) + 1;
        rows_ = static_cast<long>((maxY - minY) / cell_) + 1;
        const std::size_t cells = static_cast<std::size_t>(cols_ * rows_);
        start_.assign(cells + 1, 0);
        for (const Entry& e : entries_) ++start_[cellOf(e.at) + 1];
        std::partial_sum(start_.begin(), start_.end(), start_.begin());
        end_.assign(start_.begin(), start_.end() - 1);
        items_.resize(entries_.size());
        for (std::uint32_t k = 0; k < entries_.size(); ++k) items_[end_[cellOf(entries_[k].at)]++] = k;
    }

    const Entry& entry(std::uint32_t k) const { return entries_[k]; }

    // The entry nearest p among those alive says; -1 when none is.
    template <typename Alive>
    std::int64_t nearest(PlotPoint p, Alive alive) {
        const long cx = col(p.x), cy = row(p.y);
        double best = std::numeric_limits<double>::infinity();
        std::int64_t found = -1;
        const long far = std::max({cx, cols_ - 1 - cx, cy, rows_ - 1 - cy});
        for (long r = 0; r <= far; ++r) {
            for (long y = cy - r; y <= cy + r; ++y) {
                if (y < 0 || y >= rows_) continue;
                const bool edge = y == cy - r || y == cy + r;
                for (long x = cx - r; x <= cx + r; x += edge ? 1 : 2 * r) {
                    if (x >= 0 && x < cols_) scan(static_cast<std::size_t>(y * cols_ + x), p, alive, best, found);
                    if (r == 0) break;
                }
            }
            if (found >= 0 && best <= static_cast<double>(r) * cell_) break;
        }
        return found;
    }

    // Adds to out up to count strokes with an entry near p, nearest first,
    // that it does not hold yet; scratch is room for the search.
    void near(PlotPoint p, std::size_t count, std::vector<std::pair<double, std::uint32_t>>& scratch,
              std::vector<std::uint32_t>& out) const {
        const long cx = col(p.x), cy = row(p.y);
        for (long r = 1; r <= 2; ++r) {
            scratch.clear();
            for (long y = std::max(cy - r, 0L); y <= std::min(cy + r, rows_ - 1); ++y)
                for (long x = std::max(cx - r, 0L); x <= std::min(cx + r, cols_ - 1); ++x) {
                    const std::size_t c = static_cast<std::size_t>(y * cols_ + x);
                    for (std::uint32_t k = start_[c]; k < start_[c + 1]; ++k) {
                        const Entry& e = entries_[items_[k]];
                        scratch.emplace_back(dist(p, e.at), e.stroke);
                    }
                }
            if (scratch.size() >= count) break;
        }
        const auto take = std::min(scratch.size(), 2 * count);
        std::partial_sort(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(take), scratch.end());
        std::size_t added = 0;
        for (std::size_t k = 0; k < take && added < count; ++k) {
            if (std::find(out.begin(), out.end(), scratch[k].second) != out.end()) continue;
            out.push_back(scratch[k].second);
            ++added;
        }
    }

private:
    long col(double x) const { return std::clamp(static_cast<long>((x - minX_) / cell_), 0L, cols_ - 1); }
    long row(double y) const { return std::clamp(static_cast<long>((y - minY_) / cell_), 0L, rows_ - 1); }
    std::size_t cellOf(PlotPoint p) const { return static_cast<std::size_t>(row(p.y) * cols_ + col(p.x)); }

    template <typename Alive>
    void scan(std::size_t c, PlotPoint p, Alive& alive, double& best, std::int64_t& found) {
        for (std::uint32_t k = start_[c]; k < end_[c];) {
            const Entry& e = entries_[items_[k]];
            if (!alive(e.stroke)) {
                std::swap(items_[k], items_[--end_[c]]);
                continue;
            }
            const double d = dist(p, e.at);
            if (d < best || (d == best && items_[k] < found)) {
                best = d;
                found = items_[k];
            }
            ++k;
        }
    }

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> start_, end_, items_;
    double minX_ = 0, minY_ = 0, cell_ = 1;
    long cols_ = 1, rows_ = 1;
};

// Strokes whose ends meet within join become one, in the order of the
// first of them; plunges stay alone.
std::vector<Stroke> joinStrokes(std::vector<Stroke> strokes, double join) {
    const double cell = std::max(join, 1.0);
    const auto key = [cell](PlotPoint p) {
        const auto cx = static_cast<std::int64_t>(std::floor(p.x / cell));
        const auto cy = static_cast<std::int64_t>(std::floor(p.y / cell));
        return static_cast<std::uint64_t>(cx) * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(cy);
    };
    // Every stroke end by its cell, sorted: 2 s is the first point of s,
    // 2 s + 1 the last.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> ends;
    ends.reserve(2 * strokes.size());
    for (std::uint32_t s = 0; s < strokes.size(); ++s) {
        if (strokes[s].size() < 2) continue;
        ends.emplace_back(key(strokes[s].front()), 2 * s);
        ends.emplace_back(key(strokes[s].back()), 2 * s + 1);
    }
    std::sort(ends.begin(), ends.end());
    std::vector<bool> used(strokes.size(), false);
    const auto endOf = [&](std::uint32_t e) { return e % 2 == 0 ? strokes[e / 2].front() : strokes[e / 2].back(); };
    const auto meeting = [&](PlotPoint p) {
        std::int64_t best = -1;
        double bestD = join;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const std::uint64_t k = key({p.x + dx * cell, p.y + dy * cell});
                for (auto it = std::lower_bound(ends.begin(), ends.end(), std::make_pair(k, std::uint32_t{0}));
                     it != ends.end() && it->first == k; ++it) {
                    const std::uint32_t e = it->second;
                    if (used[e / 2]) continue;
                    const double d = dist(p, endOf(e));
                    if (d < bestD || (d == bestD && (best < 0 || e < best))) {
                        bestD = d;
                        best = e;
                    }
                }
            }
        return best;
    };
    std::vector<Stroke> out;
    for (std::uint32_t s = 0; s < strokes.size(); ++s) {
        if (used[s]) continue;
        used[s] = true;
        Stroke chain = std::move(strokes[s]);
        if (chain.size() >= 2) {
            for (int side = 0; side < 2; ++side) {
                for (std::int64_t e = meeting(chain.back()); e >= 0; e = meeting(chain.back())) {
                    const auto t = static_cast<std::uint32_t>(e / 2);
                    used[t] = true;
                    Stroke& next = strokes[t];
                    if (e % 2 == 1) std::reverse(next.begin(), next.end());
                    chain.insert(chain.end(), next.begin() + (next.front() == chain.back() ? 1 : 0), next.end());
                    next.clear();
                }
                std::reverse(chain.begin(), chain.end());
            }
        }
        out.push_back(std::move(chain));
    }
    return out;
}

// Nearest entry first from the origin: each stroke reversed, or a closed
// one turned to start at the point, where it is entered.
std::vector<Stroke> nearestFirst(std::vector<Stroke> strokes, Grid& grid) {
    std::vector<bool> taken(strokes.size(), false);
    std::vector<Stroke> out;
    out.reserve(strokes.size());
    PlotPoint at;
    for (std::size_t n = 0; n < strokes.size(); ++n) {
        const std::int64_t k = grid.nearest(at, [&](std::uint32_t s) { return !taken[s]; });
        if (k < 0) break;
        const Entry& e = grid.entry(static_cast<std::uint32_t>(k));
        taken[e.stroke] = true;
        Stroke s = std::move(strokes[e.stroke]);
        if (e.vertex == -2) {
            std::reverse(s.begin(), s.end());
        } else if (e.vertex > 0) {
            s.pop_back();
            std::rotate(s.begin(), s.begin() + e.vertex, s.end());
            s.push_back(s.front());
        }
        at = s.back();
        out.push_back(std::move(s));
    }
    return out;
}

// Reverses runs of the order while that shortens the travel (2-opt over
// the strokes, the candidates near each end), then starts each closed
// stroke at its best point.
void improve(std::vector<Stroke>& strokes) {
    const std::size_t n = strokes.size();
    if (n < 2) return;
    std::vector<Entry> ends;
    for (std::uint32_t s = 0; s < n; ++s) {
        ends.push_back({strokes[s].front(), s, -1});
        if (strokes[s].back() != strokes[s].front()) ends.push_back({strokes[s].back(), s, -2});
    }
    const Grid grid(std::move(ends), PlotPoint{});
    // The strokes near each stroke's ends: those of nearStart[s] to
    // nearStart[s + 1] in nearList.
    std::vector<std::uint32_t> nearStart(n + 1, 0), nearList, found;
    std::vector<std::pair<double, std::uint32_t>> scratch;
    nearList.reserve(n * kNeighbours);
    for (std::uint32_t s = 0; s < n; ++s) {
        found.clear();
        grid.near(strokes[s].front(), kNeighbours, scratch, found);
        grid.near(strokes[s].back(), kNeighbours, scratch, found);
        nearList.insert(nearList.end(), found.begin(), found.end());
        nearStart[s + 1] = static_cast<std::uint32_t>(nearList.size());
    }
    const auto near = [&](std::uint32_t s) {
        return std::pair(nearList.begin() + nearStart[s], nearList.begin() + nearStart[s + 1]);
    };

    // The order as positions: which stroke, and whether it runs reversed.
    std::vector<std::uint32_t> order(n), pos(n);
    std::vector<char> rev(n, 0);
    std::iota(order.begin(), order.end(), 0);
    std::iota(pos.begin(), pos.end(), 0);
    const auto entry = [&](std::size_t k) { return rev[k] ? strokes[order[k]].back() : strokes[order[k]].front(); };
    const auto exit = [&](std::size_t k) { return rev[k] ? strokes[order[k]].front() : strokes[order[k]].back(); };
    const auto before = [&](std::size_t i) { return i == 0 ? PlotPoint{} : exit(i - 1); };
    // What reversing positions i..j saves.
    const auto gain = [&](std::size_t i, std::size_t j) {
        const PlotPoint p = before(i);
        double g = dist(p, entry(i)) - dist(p, exit(j));
        if (j + 1 < n) g += dist(exit(j), entry(j + 1)) - dist(entry(i), entry(j + 1));
        return g;
    };
    const auto reverse = [&](std::size_t i, std::size_t j) {
        for (std::size_t a = i, b = j; a < b; ++a, --b) {
            std::swap(order[a], order[b]);
            std::swap(rev[a], rev[b]);
        }
        for (std::size_t k = i; k <= j; ++k) {
            rev[k] = static_cast<char>(!rev[k]);
            pos[order[k]] = static_cast<std::uint32_t>(k);
        }
    };
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        bool better = false;
        for (std::size_t i = 0; i < n; ++i) {
            // A new link from the stroke before i to the end of j...
            if (i > 0) {
                for (auto [it, end] = near(order[i - 1]); it != end; ++it) {
                    const std::size_t j = pos[*it];
                    if (j >= i && j - i <= kMaxReversal && gain(i, j) > kGain) {
                        reverse(i, j);
                        better = true;
                    }
                }
            }
            // ...or from the start of j to the stroke after i.
            if (i + 1 < n) {
                for (auto [it, end] = near(order[i + 1]); it != end; ++it) {
                    const std::size_t j = pos[*it];
                    if (j <= i && i - j <= kMaxReversal && gain(j, i) > kGain) {
                        reverse(j, i);
                        better = true;
                    }
                }
            }
        }
        if (!better) break;
    }
    std::vector<Stroke> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = std::move(strokes[order[k]]);
        if (rev[k]) std::reverse(out[k].begin(), out[k].end());
    }
    strokes = std::move(out);

    for (std::size_t k = 0; k < n; ++k) {
        Stroke& s = strokes[k];
        if (!closedStroke(s)) continue;
        const PlotPoint p = k == 0 ? PlotPoint{} : strokes[k - 1].back();
        const auto cost = [&](const PlotPoint& v) {
            return dist(p, v) + (k + 1 < n ? dist(v, strokes[k + 1].front()) : 0.0);
        };
        std::size_t best = 0;
        double bestCost = cost(s[0]);
        for (std::size_t v = 1; v + 1 < s.size(); ++v) {
            const double c = cost(s[v]);
            if (c < bestCost - kGain) {
                bestCost = c;
                best = v;
            }
        }
        if (best == 0) continue;
        s.pop_back();
        std::rotate(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(best), s.end());
        s.push_back(s.front());
    }
}

bool readNumber(std::string_view& s, double& v) {
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || !std::isfinite(v)) return false;
    s.remove_prefix(static_cast<std::size_t>(res.ptr - s.data()));
    return true;
}

std::string mm(double units) { return FormatHumanNumber(std::round(units * kPlotUnitMm * 10) / 10); }

}  // namespace

bool ReadStrokes(std::string_view text, std::vector<Stroke>& strokes, ToolPathTotals& totals) {
    strokes.clear();
    totals = {};
    PlotPoint at;
    bool open = false;  // the tool is down: the last stroke goes on
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        if (end == std::string_view::npos || end < 2) return false;
        std::string_view st = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::string_view head = st.substr(0, 2);
        if (head != "PU" && head != "PD") return false;
        const bool down = head == "PD";
        st.remove_prefix(2);
        if (!down) open = false;
        if (down && !open) {
            strokes.push_back({at});
            open = true;
        }
        if (st.empty()) continue;
        PlotPoint p;
        if (!readNumber(st, p.x) || st.empty() || st.front() != ',') return false;
        st.remove_prefix(1);
        if (!readNumber(st, p.y) || !st.empty()) return false;
        if (down)
            strokes.back().push_back(p);
        else
            totals.travel += dist(at, p);
        at = p;
    }
    totals.lifts = static_cast<long long>(strokes.size());
    return true;
}

ToolPathTotals MeasureStrokes(const std::vector<Stroke>& strokes) {
    ToolPathTotals t;
    PlotPoint at;
    for (const Stroke& s : strokes) {
        t.travel += dist(at, s.front());
        at = s.back();
    }
    t.lifts = static_cast<long long>(strokes.size());
    return t;
}

std::vector<Stroke> OrderStrokes(std::vector<Stroke> strokes, double join) {
    strokes.erase(std::remove_if(strokes.begin(), strokes.end(), [](const Stroke& s) { return s.empty(); }),
                  strokes.end());
    const ToolPathTotals given = MeasureStrokes(strokes);
    std::vector<Stroke> joined = joinStrokes(strokes, join);
    std::vector<Entry> entries;
    for (std::uint32_t s = 0; s < joined.size(); ++s) {
        const Stroke& k = joined[s];
        if (closedStroke(k)) {
            for (std::size_t v = 0; v + 1 < k.size(); ++v)
                entries.push_back({k[v], s, v == 0 ? -1 : static_cast<std::int32_t>(v)});
            continue;
        }
        entries.push_back({k.front(), s, -1});
        if (k.size() > 1) entries.push_back({k.back(), s, -2});
    }
    Grid grid(std::move(entries), PlotPoint{});
    std::vector<Stroke> ordered = nearestFirst(std::move(joined), grid);
    improve(ordered);
    const ToolPathTotals now = MeasureStrokes(ordered);
    // The order given may already be the better one.
    if (now.travel > given.travel || (now.travel == given.travel && now.lifts >= given.lifts)) return strokes;
    return ordered;
}

void WriteStrokes(const std::vector<Stroke>& strokes, PlotWriter& out) {
    for (const Stroke& s : strokes) {
        if (s.empty()) continue;
        out.pen(false);
        // The writer starts where the job does, at the origin: no travel
        // to where the tool already stands.
        if (s.front() != PlotPoint{out.x(), out.y()}) out.point(s.front().x, s.front().y);
        out.pen(true);
        for (std::size_t k = 1; k < s.size(); ++k) out.point(s[k].x, s[k].y);
    }
    out.pen(false);
    out.finish();
}

void ShortenToolPath(DrawingResult& r) {
    if (!r.ok) return;
    std::vector<Stroke> strokes;
    ToolPathTotals before;
    if (!ReadStrokes(r.text, strokes, before) || strokes.empty()) return;
    const std::vector<Stroke> ordered = OrderStrokes(std::move(strokes), kJoinMm / kPlotUnitMm);
    const ToolPathTotals after = MeasureStrokes(ordered);
    PlotWriter out;
    WriteStrokes(ordered, out);
    r.text = std::move(out.text);
    r.summary.statements = out.statements;
    r.summary.extent = out.extent;
    std::ostringstream note;
    note << "Percurso otimizado: deslocamento com a ferramenta levantada de " << mm(before.travel) << " mm para "
         << mm(after.travel) << " mm; levantamentos de " << before.lifts << " para " << after.lifts << '.';
    r.summary.notes.push_back(note.str());
}

}  // namespace pm
