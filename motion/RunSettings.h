#pragma once
#include <string>

namespace pm {

// What the operator set that the operations read live, at every use: a
// change that arrives at a pump takes effect at the next read. The front
// ends fill it (the window's machine thread from the controls' changes, the
// headless runner and the estimate from their options); the operations
// write to it only what they also tell as an event (the limits a scan
// found, a zero divisor replaced by "1").
struct RunSettings {
    // The operator's defaults, as the window starts.
    static constexpr int kDefaultScale = 5;
    static constexpr int kDefaultSpeed = 20;
    static constexpr const char* kDefaultDivisor = "3.55";

    bool motorsOn = false;             // "Ativar Motores": the coils are written
    int previewScale = kDefaultScale;  // the preview's scale, -3..10 (0 draws 1:1)
    int speed = kDefaultSpeed;         // counts of 1000 per XY half-step, 0..40
    std::string divisor = kDefaultDivisor;  // "Dividir cordenadas por:", as typed
    std::string limitX;                // the X and Y limits "Ir para o Limite" goes to,
    std::string limitY;                // as typed or as the scan found them
    std::string plotFile;              // the chosen plot file; empty when none
};

}  // namespace pm
