#pragma once
#include <QObject>
#include <functional>

namespace pm {

// SIGINT, SIGTERM and SIGHUP, brought to the window's event loop: the
// handler only writes the signal's number into a pipe, and the loop calls
// onSignal with it. One a program.
class EndSignals final : public QObject {
    Q_OBJECT
public:
    EndSignals(std::function<void(int signal)> onSignal, QObject* parent);

private:
    std::function<void(int)> onSignal_;
};

}  // namespace pm
