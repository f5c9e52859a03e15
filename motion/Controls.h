#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "motion/MachineState.h"

namespace pm {

// Everything the machine logic reads or writes on the window, and the event
// pump. Form1 implements it with real widgets; HeadlessControls with plain
// fields. Values are read afresh at every use, so a handler that runs nested
// inside DoEvents() takes effect at the next read.
class Controls {
public:
    Controls() = default;
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;
    virtual ~Controls() = default;

    virtual bool Check1() = 0;   // "Ativar Motores" ticked
    virtual int Slider1() = 0;   // preview scale, -3..10
    virtual int Slider2() = 0;   // speed delay, 0..40
    // Text1 (X limit), Text2 (Y limit), Text3 (divisor): n = 1, 2, 3.
    virtual std::string Text(int n) = 0;
    virtual void SetText(int n, const std::string& text) = 0;
    // The window caption: the chosen plot file's path, empty when none.
    virtual std::string Caption() = 0;
    virtual void SetCaption(const std::string& caption) = 0;

    // The switch lamps LE(3) to LE(7).
    virtual bool LampVisible(int i) = 0;
    virtual void SetLampVisible(int i, bool visible) = 0;

    // The preview: one dot at canvas twips (x, y) in a packed colour.
    virtual void PSet(float x, float y, std::uint32_t colour) = 0;
    virtual void ClearPreview() = 0;

    // List1: append an entry and select it; clear.
    virtual void ListAdd(std::string_view entry) = 0;
    virtual void ListClear() = 0;

    virtual void SetCommand1Enabled(bool enabled) = 0;
    virtual void SetMotorJogEnabled(bool enabled) = 0;
    // An operation that moves the machine or reads the plot file started
    // (op) or ended (Operation::None): the window disables the buttons that
    // would start another one meanwhile.
    virtual void SetOperationRunning(Operation op) = 0;
    // A busy pointer while an operation blocks the window.
    virtual void SetWaitCursor(bool on) = 0;

    // A modal message box with one OK button.
    virtual void MsgBox(const std::string& text, const std::string& title) = 0;

    // How far the running job has read its plot file.
    virtual void SetJobProgress(unsigned long long bytesRead, unsigned long long fileSize) {
        (void)bytesRead;
        (void)fileSize;
    }

    // True once the program is being ended (told to stop, or unable to keep
    // its records): the operations that never pump events (Home XY, the
    // tool's lower) stop at their next pass, and the owner switches every
    // coil off. The others stop through a cancel set at the pump.
    virtual bool Quitting() { return false; }

    // The running job holds ("Pausado na declaração N") or goes on again.
    virtual void SetJobPaused(bool paused, std::uint64_t statement) {
        (void)paused;
        (void)statement;
    }
    // A job ended: at its file's end (at.statement is 0, nothing to resume),
    // or stopped by a cancel or a failed read at at.statement.
    virtual void JobEnded(const StopPoint& at) { (void)at; }

    // Lets the window process pending events: clicks, slider changes, the
    // Timer1 tick. They run to completion before it returns.
    virtual void DoEvents() = 0;
};

}  // namespace pm
