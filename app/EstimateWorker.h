#pragma once
#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/WakePipe.h"
#include "job/Estimate.h"

namespace pm {

// Estimates a job's duration on a worker thread of its own, one request at a
// time: a new request cancels the one before (which stops at its next pump),
// and a result that still arrives for an older request is dropped (a
// generation number tells). Results arrive on the thread that owns this
// object, through onArrived: the worker leaves its result under a mutex and
// says so through a pipe that object's event loop watches.
class EstimateWorker final : public QObject {
    Q_OBJECT
public:
    explicit EstimateWorker(QObject* parent = nullptr);
    ~EstimateWorker() override;

    // Drops what was asked or known so far.
    void invalidate();
    // Starts an estimate of file at these settings (after invalidate()).
    // The same dry run draws the file's preview; stamp names the file as it
    // was on disk, and comes back with the result. In the background (while
    // the machine runs) the worker takes the processor only when the machine
    // leaves it.
    void start(const std::string& file, const EstimateSettings& settings, const QString& stamp,
               bool background = false);
    // Settings changed while the machine moves: the estimate waits for the
    // operation's end, so the worker never competes with it for a core.
    void defer();
    bool deferred() const { return deferred_; }

    // The last result for the present request; nullptr while there is none.
    const JobEstimate* estimate() const { return valid_ ? &estimate_ : nullptr; }
    bool pending() const { return pending_; }
    int started() const { return started_; }
    // Blocks until the worker holds nothing, then delivers its result.
    void waitForDone();

    std::function<void(const JobEstimate&, const QImage& preview, const QString& stamp)> onArrived;
    // How far the running estimate has read its file, in whole percent.
    std::function<void(int percent)> onProgress;

private:
    void deliver();
    struct Result {
        unsigned generation = 0;
        JobEstimate estimate;
        QImage preview;
        QString stamp;
    };
    void arrived(const Result& r);

    std::thread worker_;
    WakePipe notify_;
    std::mutex mutex_;
    std::optional<Result> result_;
    // The percents the worker reached since the last delivery, each with
    // the request it belongs to (at most one a percent).
    std::vector<std::pair<unsigned, int>> progress_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    unsigned generation_ = 0;
    bool pending_ = false;
    bool deferred_ = false;
    bool valid_ = false;
    int started_ = 0;
    JobEstimate estimate_;
};

}  // namespace pm
