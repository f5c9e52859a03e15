#pragma once
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

// The statement being gathered, a character at a time, up to its ";".
class StatementBuffer {
public:
    // Adds ch; true when it closes a statement, which text() then holds
    // with its ";".
    bool add(char ch) {
        text_ += ch;
        return ch == ';';
    }
    std::string_view text() const { return text_; }
    // Forgets the statement just handled. A huge statement's buffer is not
    // kept for the rest of the run.
    void clear() {
        if (text_.capacity() > PlotFile::kBufferSize) text_ = std::string();
        text_.clear();
    }

private:
    std::string text_;
};

}  // namespace pm
