#include "app/EstimateWorker.h"

#include <QSocketNotifier>
#include <sys/resource.h>
#include <unistd.h>

#include "app/PreviewPainter.h"

namespace pm {

EstimateWorker::EstimateWorker(QObject* parent) : QObject(parent) {
    auto* n = new QSocketNotifier(notify_.readFd(), QSocketNotifier::Read, this);
    connect(n, &QSocketNotifier::activated, this, [this] { deliver(); });
}

EstimateWorker::~EstimateWorker() {
    // An estimate still running stops at its next pump; its result is dropped.
    if (cancel_) cancel_->store(true);
    if (worker_.joinable()) worker_.join();
}

void EstimateWorker::invalidate() {
    if (cancel_) cancel_->store(true);
    ++generation_;
    valid_ = false;
    pending_ = false;
    deferred_ = false;
}

void EstimateWorker::defer() { deferred_ = true; }

void EstimateWorker::start(const std::string& file, const EstimateSettings& settings, const QString& stamp,
                           bool background) {
    // The one before was cancelled by invalidate(): it ends at its next pump.
    if (worker_.joinable()) worker_.join();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    pending_ = true;
    ++started_;
    // The worker has its own machine state, machine and clock; it leaves its
    // result here and touches nothing else.
    const unsigned generation = generation_;
    worker_ = std::thread([this, file, settings, cancel, generation, stamp, background] {
        // The lowest priority, for this thread alone.
        if (background) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
        PreviewPainter preview;
        Result r;
        r.generation = generation;
        const auto progress = [this, generation](int percent) {
            {
                std::lock_guard lock(mutex_);
                progress_.emplace_back(generation, percent);
            }
            notify_.wake();
        };
        r.estimate = EstimateJob(file, settings, cancel.get(),
                                 [&preview](float x, float y, std::uint32_t colour) { preview.dot(x, y, colour); },
                                 progress);
        if (cancel->load()) return;
        if (preview.dots() > 0) r.preview = preview.image();
        r.stamp = stamp;
        {
            std::lock_guard lock(mutex_);
            result_.emplace(std::move(r));
        }
        notify_.wake();
    });
}

void EstimateWorker::waitForDone() {
    if (worker_.joinable()) worker_.join();
    deliver();
}

void EstimateWorker::deliver() {
    notify_.drain();
    std::optional<Result> r;
    std::vector<std::pair<unsigned, int>> progress;
    {
        std::lock_guard lock(mutex_);
        r.swap(result_);
        progress.swap(progress_);
    }
    for (const auto& [generation, percent] : progress) {
        if (generation == generation_ && pending_ && onProgress) onProgress(percent);
    }
    if (r) arrived(*r);
}

void EstimateWorker::arrived(const Result& r) {
    if (r.generation != generation_) return;  // a newer one is on its way
    pending_ = false;
    valid_ = true;
    estimate_ = r.estimate;
    if (onArrived) onArrived(r.estimate, r.preview, r.stamp);
}

}  // namespace pm
