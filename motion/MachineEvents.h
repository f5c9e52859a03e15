#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "motion/MachineState.h"

namespace pm {

// What a dot of the preview shows: a travel with the tool raised, or a cut.
enum class DotKind { Travel, Cut };

// The packed colour a dot of that kind is drawn in.
inline constexpr std::uint32_t DotColour(DotKind kind) { return kind == DotKind::Travel ? kGreen : kBlue; }

// What the machine tells its front end, in the order it happens. The
// window shows it (drawn about 60 times a second); the headless runner
// keeps it for its records; tests look at it. Nothing here is read back by
// the machine but the top switch's lamp.
class MachineEvents {
public:
    MachineEvents() = default;
    MachineEvents(const MachineEvents&) = delete;
    MachineEvents& operator=(const MachineEvents&) = delete;
    virtual ~MachineEvents() = default;

    // One dot of the preview, at canvas twips (x, y).
    virtual void Dot(float x, float y, DotKind kind) = 0;
    // A job starts: the preview is cleared.
    virtual void PreviewCleared() = 0;
    // A statement of the job was handled, its ";" included; the newest is
    // the one shown.
    virtual void StatementListed(std::string_view statement) = 0;
    // The list of statements is cleared ("Cancelar").
    virtual void ListCleared() = 0;

    // The switch inputs as the poll just read them: limitBits[3..7], 1 for
    // an active input (MachineState::LimitBits).
    virtual void SwitchesRead(const std::array<std::int16_t, 8>& limitBits) = 0;

    // An operation that moves the machine or reads the plot file started,
    // or the running one ended: the front end refuses to start another
    // meanwhile.
    virtual void OperationStarted(Operation op) = 0;
    virtual void OperationEnded() = 0;
    // Whether a new job or scan may be started ("Fresar"), and whether the
    // jog pad may drive the motors: a run over the plot file holds both
    // from its open to its end.
    virtual void PlotStartAllowed(bool allowed) = 0;
    virtual void JogAllowed(bool allowed) = 0;
    // An operation that takes no input until it ends (Home XY) runs, or
    // ended: a busy pointer.
    virtual void Blocking(bool on) = 0;

    // How far the running job has read its plot file.
    virtual void Progress(unsigned long long bytesRead, unsigned long long fileSize) {
        (void)bytesRead;
        (void)fileSize;
    }
    // The running job holds at a statement ("Pausado na declaração N"), or
    // goes on again.
    virtual void Paused(std::uint64_t statement) { (void)statement; }
    virtual void Continued(std::uint64_t statement) { (void)statement; }
    // A job ended: at its file's end (at.statement is 0, nothing to
    // resume), or stopped by a cancel or a failed read at at.statement.
    virtual void JobEnded(const StopPoint& at) { (void)at; }

    // The scan found the drawing's extent, in plot-file units, as whole
    // numbers: the limits "Ir para o Limite" goes to from now on.
    virtual void LimitsFound(const std::string& x, const std::string& y) = 0;
    // The divisor read as 0: the job divides by "1" from now on.
    virtual void DivisorReplaced(const std::string& divisor) = 0;

    // A message the operator must answer with OK before the machine goes on.
    virtual void Message(const std::string& text) = 0;
};

}  // namespace pm
