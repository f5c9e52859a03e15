#include "app/EstimateWorker.h"

#include <QCoreApplication>

namespace pm {

EstimateWorker::EstimateWorker(QObject* parent) : QObject(parent) { pool_.setMaxThreadCount(1); }

EstimateWorker::~EstimateWorker() {
    // An estimate still running stops at its next pump; what it posts goes
    // with this object.
    if (cancel_) cancel_->store(true);
    pool_.waitForDone();
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
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    pending_ = true;
    ++started_;
    // The worker has its own machine state, machine and clock; it hands its
    // result to this object's thread and touches nothing else.
    const unsigned generation = generation_;
    pool_.start([this, file, settings, cancel, generation] {
        const JobEstimate e = EstimateJob(file, settings, cancel.get());
        if (cancel->load()) return;
        QMetaObject::invokeMethod(
            this, [this, generation, e] { arrived(generation, e); }, Qt::QueuedConnection);
    });
}

void EstimateWorker::waitForDone() {
    pool_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void EstimateWorker::arrived(unsigned generation, const JobEstimate& e) {
    if (generation != generation_) return;  // a newer one is on its way
    pending_ = false;
    valid_ = true;
    estimate_ = e;
    if (onArrived) onArrived(e);
}

}  // namespace pm
