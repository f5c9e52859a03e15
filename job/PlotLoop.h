#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "job/Job.h"
#include "job/PlotFile.h"
#include "motion/Context.h"
#include "motion/MachineState.h"

namespace pm {

// The steps the job and the scan take alike around their read of the plot
// file, one character a pass. Each loop keeps its own order; these are only
// the pieces that are the same in both.

// Refuses a run with no plot file chosen ("Falta Abrir Arquivo")
// or while another operation holds the machine; otherwise the operation op
// has begun. False when the run stops here (run.end tells why).
bool BeginPlotRun(Context& c, Operation op, PlotRun& run);

// Takes the chosen plot file, locks "Fresar" and the jog for the
// run, clears a standing cancel and opens the file. When it cannot be
// opened: unlocks, ends the operation, tells the operator why, and false.
bool OpenPlotFile(Context& c, PlotFile& file, PlotRun& run);

// Gives "Fresar" and the jog back to the operator.
void UnlockPlotButtons(Context& c);

// The cancel, looked at once a pass after the first pump: when it was
// asked, closes the file, unlocks, ends the operation and says true.
bool StopOnCancel(Context& c, PlotFile& file, PlotRun& run);

// Closes the file at its end, keeping the count of characters read; true
// when the end came from a failed read.
bool ClosePlotFileAtEnd(PlotFile& file, PlotRun& run);

// Tells the operator the file could not be read to its end.
void ReportReadFailure(Context& c, const PlotFile& file, PlotRun& run);

// The longest statement a plot file may hold, in characters before its
// ";". No drawing statement comes near it; a file that passes it is no plot
// file (a binary, a drawing not converted), and holding it would take
// memory without bound.
inline constexpr std::size_t kMaxStatementChars = std::size_t{64} * 1024;

// The statement being gathered, a character at a time, up to its ";".
class StatementBuffer {
public:
    // Adds ch; true when it closes a statement, which text() then holds
    // with its ";". Past kMaxStatementChars the statement is too long():
    // nothing more is kept.
    bool add(char ch) {
        if (blank_) {
            // The statement's line is that of its first character that is
            // not blank: a line break after a ";" opens the next statement.
            startLine_ = line_;
            blank_ = ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
        }
        if (ch == '\n') ++line_;
        if (text_.size() > kMaxStatementChars) return false;
        text_ += ch;
        return ch == ';';
    }
    std::string_view text() const { return text_; }
    bool tooLong() const { return text_.size() > kMaxStatementChars; }
    // The line of the file (counted from 1) the statement starts on.
    std::uint64_t startLine() const { return startLine_; }
    // Forgets the statement just handled.
    void clear() {
        text_.clear();
        blank_ = true;
    }

private:
    std::string text_;
    std::uint64_t line_ = 1;
    std::uint64_t startLine_ = 1;
    bool blank_ = true;
};

// The operator's message for a statement that is too long.
std::string OverlongStatementMessage(std::uint64_t line);

// Ends the run at a statement that is too long: closes the file, switches
// every coil off when the run drives the machine (releaseCoils), unlocks,
// ends the operation and tells the operator which line. The run ends as a
// failed read does.
void StopAtOverlongStatement(Context& c, PlotFile& file, const StatementBuffer& statement,
                             PlotRun& run, bool releaseCoils);

}  // namespace pm
