#include "importer/Plot.h"

#include "files/SafeFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace pm {

namespace {

// Positions are kept to a millionth of a plot unit, so relative moves and
// chords do not pile up binary noise ('PR0.1' three times ends at 0.3).
constexpr double kGrid = 1e6;

double snap(double v) { return std::nearbyint(v * kGrid) / kGrid + 0.0; }

void appendNumber(std::string& out, double v) {
    std::array<char, 400> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v + 0.0,
                                   std::chars_format::fixed);
    out.append(buf.data(), res.ptr);
}

}  // namespace

void DrawingExtent::add(double x, double y) {
    if (empty) {
        minX = maxX = x;
        minY = maxY = y;
        empty = false;
        return;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
}

void PlotWriter::pen(bool down) {
    if (down == down_) return;
    if (pending_) lone(down_);
    down_ = down;
    pending_ = lastHead_ != (down ? 1 : 0);
}

void PlotWriter::lone(bool down) {
    if (!counting) text += down ? "PD;" : "PU;";
    lastHead_ = down ? 1 : 0;
    milled_ = milled_ || down;
    pending_ = false;
    ++statements;
}

namespace {
thread_local ConversionWatch* tWatch = nullptr;
}  // namespace

WatchConversion::WatchConversion(ConversionWatch& watch) : before_(tWatch) { tWatch = &watch; }

WatchConversion::~WatchConversion() { tWatch = before_; }

bool PlotWriter::point(double x, double y) {
    if ((statements & 4095) == 0 && tWatch != nullptr) {
        tWatch->statements.store(statements, std::memory_order_relaxed);
        if (tWatch->stop.load(std::memory_order_relaxed)) throw ConversionStopped();
    }
    x = snap(x);
    y = snap(y);
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kMaxPlotCoordinate ||
        std::fabs(y) > kMaxPlotCoordinate)
        return false;
    if (!counting) {
        text += down_ ? "PD" : "PU";
        appendNumber(text, x);
        text += ',';
        appendNumber(text, y);
        text += ';';
    }
    lastHead_ = down_ ? 1 : 0;
    milled_ = milled_ || down_;
    pending_ = false;
    ++statements;
    extent.add(x, y);
    x_ = x;
    y_ = y;
    return true;
}

void PlotWriter::skip(long long n) {
    if (n <= 0) return;
    statements += n;
    lastHead_ = down_ ? 1 : 0;
    milled_ = milled_ || down_;
    pending_ = false;
}

void PlotWriter::finish() {
    if (pending_) lone(down_);
}

std::string FormatPlotNumber(double v) {
    std::string s;
    appendNumber(s, v);
    return s;
}

std::string FormatHumanNumber(double v) {
    if (!std::isfinite(v)) return FormatPlotNumber(v);
    std::array<char, 400> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 3);
    std::string s(buf.data(), res.ptr);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string UpperExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string ext;
    for (const char c : path.substr(dot + 1))
        ext += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return ext;
}

std::string PlotFileNameFor(const std::string& drawingPath) {
    const std::size_t dot = drawingPath.rfind('.');
    const std::size_t slash = drawingPath.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return drawingPath + ".red";
    return drawingPath.substr(0, dot) + ".red";
}

DrawingResult BoundedConversion(long long maxStatements, const std::function<DrawingResult(bool counting)>& convert) {
    if (maxStatements > 0) {
        DrawingResult counted = convert(true);
        if (!counted.ok) return counted;
        if (counted.summary.statements > maxStatements)
            return TooManyStatements(counted.summary.statements, maxStatements);
    }
    return convert(false);
}

DrawingResult TooManyStatements(long long would, long long maxStatements) {
    DrawingResult r;
    r.wouldWrite = would;
    r.error = "O desenho daria cerca de " + std::to_string(would) + " declarações, mais que o limite de " +
              std::to_string(maxStatements) + ": a conversão parou e nada foi gravado.";
    return r;
}

std::string DescribeSummary(const DrawingSummary& s) {
    std::ostringstream o;
    o << "Declarações escritas: " << s.statements << '\n';
    if (s.dropped.empty()) {
        o << "Comandos descartados: nenhum\n";
    } else {
        o << "Comandos descartados:";
        const char* sep = " ";
        for (const auto& [name, count] : s.dropped) {
            o << sep << name << ' ' << count;
            sep = ", ";
        }
        o << '\n';
        if (s.droppedDrawing > 0)
            o << "Atenção: " << s.droppedDrawing
              << " comando(s) de desenho não convertido(s) (textos, retângulos, polígonos...).\n";
    }
    if (s.extent.empty) {
        o << "Extensão: nenhum ponto\n";
    } else {
        o << "Extensão: X " << FormatHumanNumber(s.extent.minX) << " a " << FormatHumanNumber(s.extent.maxX)
          << ", Y " << FormatHumanNumber(s.extent.minY) << " a " << FormatHumanNumber(s.extent.maxY) << '\n';
    }
    for (const auto& n : s.notes) o << n << '\n';
    return o.str();
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
    std::string reason;
    bool opened = false;
    if (ReadRegularFile(path, text, reason, opened)) return true;
    error = std::string(opened ? "Não foi possível ler" : "Não foi possível abrir") + " o arquivo " +
            QuotedPath(path) + ": " + reason + ".";
    return false;
}

void WritePlotFile(DrawingResult& r, const std::string& path) {
    if (!r.ok) return;
    // Written beside its name and put in place only when complete: on a full
    // disk the old file stays whole.
    std::string reason;
    if (!ReplaceFileContents(path, r.text, reason)) {
        r.ok = false;
        r.error = "Não foi possível gravar o arquivo " + QuotedPath(path) + ": " + reason + ".";
    }
}

DrawingResult ConvertFile(const std::string& inPath, const std::string& outPath,
                          const std::function<DrawingResult(const std::string&)>& convert) {
    DrawingResult r;
    // Nothing here may end the program: the window calls it from "Abrir".
    try {
        if (const std::string same = SameFileConflict({inPath}, {outPath}); !same.empty()) {
            r.error = "Não foi possível gravar o arquivo: " + same + ".";
            return r;
        }
        std::string text;
        if (!ReadWholeFile(inPath, text, r.error)) return r;
        r = convert(text);
        WritePlotFile(r, outPath);
    } catch (const std::exception& e) {
        r = DrawingResult{};
        r.error = "Não foi possível converter o arquivo " + QuotedPath(inPath) + ": " +
                  (dynamic_cast<const std::bad_alloc*>(&e) != nullptr ? "memória insuficiente"
                                                                      : e.what()) +
                  ".";
    }
    return r;
}

}  // namespace pm
