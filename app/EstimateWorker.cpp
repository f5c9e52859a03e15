#include "app/EstimateWorker.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>

namespace pm {

EstimateWorker::EstimateWorker(QObject* parent) : QObject(parent) {
    if (::pipe2(notifyFd_, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category());
    }
    auto* n = new QSocketNotifier(notifyFd_[0], QSocketNotifier::Read, this);
    connect(n, &QSocketNotifier::activated, this, [this] { deliver(); });
}

EstimateWorker::~EstimateWorker() {
    // An estimate still running stops at its next pump; its result is dropped.
    if (cancel_) cancel_->store(true);
    if (worker_.joinable()) worker_.join();
    ::close(notifyFd_[0]);
    ::close(notifyFd_[1]);
}

void EstimateWorker::invalidate() {
    if (cancel_) cancel_->store(true);
    ++generation_;
    valid_ = false;
    pending_ = false;
    deferred_ = false;
}

void EstimateWorker::defer() { deferred_ = true; }

void EstimateWorker::start(const std::string& file, const EstimateSettings& settings) {
    // The one before was cancelled by invalidate(): it ends at its next pump.
    if (worker_.joinable()) worker_.join();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    pending_ = true;
    ++started_;
    // The worker has its own machine state, machine and clock; it leaves its
    // result here and touches nothing else.
    const unsigned generation = generation_;
    worker_ = std::thread([this, file, settings, cancel, generation] {
        JobEstimate e = EstimateJob(file, settings, cancel.get());
        if (cancel->load()) return;
        {
            std::lock_guard lock(mutex_);
            result_.emplace(generation, std::move(e));
        }
        const char b = 1;
        [[maybe_unused]] const ssize_t w = ::write(notifyFd_[1], &b, 1);
    });
}

void EstimateWorker::waitForDone() {
    if (worker_.joinable()) worker_.join();
    deliver();
}

void EstimateWorker::deliver() {
    char buf[16];
    while (::read(notifyFd_[0], buf, sizeof buf) > 0) {
    }
    std::optional<std::pair<unsigned, JobEstimate>> r;
    {
        std::lock_guard lock(mutex_);
        r.swap(result_);
    }
    if (r) arrived(r->first, r->second);
}

void EstimateWorker::arrived(unsigned generation, const JobEstimate& e) {
    if (generation != generation_) return;  // a newer one is on its way
    pending_ = false;
    valid_ = true;
    estimate_ = e;
    if (onArrived) onArrived(e);
}

}  // namespace pm
