#pragma once
// Reads plot text back into statements, for the importers' tests.
#include <cstdlib>
#include <string>
#include <vector>

namespace pm::test {

struct Statement {
    bool down = false;
    bool hasPoint = false;
    double x = 0;
    double y = 0;
};

inline std::vector<Statement> ReadPlot(const std::string& text) {
    std::vector<Statement> out;
    for (std::size_t b = 0; b < text.size();) {
        const std::size_t e = text.find(';', b);
        if (e == std::string::npos) break;
        const std::string st = text.substr(b, e - b);
        Statement s;
        s.down = st.rfind("PD", 0) == 0;
        if (st.size() > 2) {
            s.hasPoint = true;
            const std::size_t comma = st.find(',');
            s.x = std::strtod(st.c_str() + 2, nullptr);
            s.y = std::strtod(st.c_str() + comma + 1, nullptr);
        }
        out.push_back(s);
        b = e + 1;
    }
    return out;
}

}  // namespace pm::test
