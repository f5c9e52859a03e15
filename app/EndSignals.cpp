#include "app/EndSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pm {
namespace {

int gSignalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int n) {
    const auto b = static_cast<unsigned char>(n);
    const int saved = errno;
    [[maybe_unused]] const ssize_t w = ::write(gSignalPipe[1], &b, 1);
    errno = saved;
}

}  // namespace

EndSignals::EndSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char n = 0;
        if (::read(gSignalPipe[0], &n, 1) == 1) onSignal_(n);
    });
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

}  // namespace pm
