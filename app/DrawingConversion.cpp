#include "app/DrawingConversion.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <mutex>
#include <optional>
#include <utility>

#include "importer/Drawing.h"
#include "importer_svg/Svg.h"

namespace pm {

// What a conversion thread shares with the window's thread; the thread
// holds it as long as it runs, whoever else has let go of it.
struct DrawingConversion::Shared {
    std::string in;
    std::string out;
    DrawingOptions options;
    ConversionWatch watch;
    std::shared_ptr<WakePipe> notify;
    std::mutex mutex;
    std::optional<DrawingResult> result;  // under mutex, once the thread is done
    bool done = false;                    // under mutex
};

void DrawingConversion::Convert(const std::shared_ptr<Shared>& s) {
    DrawingResult r;
    {
        const WatchConversion watching(s->watch);
        r = ConvertFile(s->in, s->out, [&s](const std::string& text) {
            DrawingResult converted = ConvertDrawing(s->in, text, s->options, ConvertSvg);
            // Abandoned while it converted: nothing is written.
            if (s->watch.stop.load()) throw ConversionStopped();
            return converted;
        });
    }
    {
        const std::lock_guard lock(s->mutex);
        s->result.emplace(std::move(r));
        s->done = true;
    }
    s->notify->wake();
}

DrawingConversion::DrawingConversion(QWidget* parent)
    : QObject(parent), notify_(std::make_shared<WakePipe>()) {
    notifier_ = new QSocketNotifier(notify_->readFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { deliver(); });
    tick_ = new QTimer(this);
    tick_->setInterval(200);
    connect(tick_, &QTimer::timeout, this, [this] { showProgress(); });
}

DrawingConversion::~DrawingConversion() {
    // Never waits: a thread still converting is told to stop and left to
    // end on its own; it holds its shared part and the pipe alive.
    for (Job& job : jobs_) {
        job.shared->watch.stop.store(true);
        if (job.thread.joinable()) job.thread.detach();
    }
}

void DrawingConversion::start(const std::string& in, const std::string& out, const DrawingOptions& options) {
    cancel();
    auto shared = std::make_shared<Shared>();
    shared->in = in;
    shared->out = out;
    shared->options = options;
    shared->notify = notify_;
    current_ = shared;
    jobs_.push_back(Job{shared, std::thread([shared] { Convert(shared); })});
    shownName_ = QFileInfo(QFile::decodeName(QByteArray::fromStdString(in))).fileName();

    auto* parentWidget = qobject_cast<QWidget*>(parent());
    auto* dialog = new QProgressDialog(parentWidget);
    dialog->setObjectName(QStringLiteral("Conversao"));
    dialog->setWindowTitle(QStringLiteral("Convertendo desenho"));
    // Not modal: the window, "Cancelar" of a job and "Sair" stay in reach.
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRange(0, 0);
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancelar"), dialog);
    cancelButton->setObjectName(QStringLiteral("CancelarConversao"));
    dialog->setCancelButton(cancelButton);
    connect(dialog, &QProgressDialog::canceled, this, [this] { cancel(); });
    closeProgress();
    progress_ = dialog;
    showProgress();
    dialog->show();
    tick_->start();
}

void DrawingConversion::cancel() {
    if (current_) current_->watch.stop.store(true);
    current_.reset();
    tick_->stop();
    closeProgress();
}

bool DrawingConversion::running() const { return current_ != nullptr; }

void DrawingConversion::waitForDone() {
    for (Job& job : jobs_) {
        if (job.thread.joinable()) job.thread.join();
    }
    deliver();
}

void DrawingConversion::showProgress() {
    if (!progress_ || !current_) return;
    const long long n = current_->watch.statements.load(std::memory_order_relaxed);
    QString text = QStringLiteral("Convertendo %1…").arg(shownName_);
    if (n > 0) {
        text += QStringLiteral("\n%1 declarações escritas até agora").arg(QLocale().toString(n));
    }
    progress_->setLabelText(text);
}

void DrawingConversion::closeProgress() {
    if (!progress_) return;
    QProgressDialog* dialog = progress_;
    progress_.clear();
    // Its "canceled" would abandon the next conversion.
    dialog->disconnect(this);
    dialog->close();
}

void DrawingConversion::deliver() {
    notify_->drain();
    // Threads that are done are joined (they have returned: no wait), their
    // results taken; only the one not abandoned is handed on.
    std::vector<std::pair<std::shared_ptr<Shared>, DrawingResult>> finished;
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        bool done = false;
        std::optional<DrawingResult> result;
        {
            const std::lock_guard lock(it->shared->mutex);
            done = it->shared->done;
            result.swap(it->shared->result);
        }
        if (!done) {
            ++it;
            continue;
        }
        if (it->thread.joinable()) it->thread.join();
        if (result) finished.emplace_back(it->shared, std::move(*result));
        it = jobs_.erase(it);
    }
    for (auto& [shared, result] : finished) {
        if (shared != current_) continue;
        current_.reset();
        tick_->stop();
        closeProgress();
        if (onFinished) onFinished(result, shared->in, shared->out);
    }
}

}  // namespace pm
