// The duration of the chosen file's job, estimated on the worker whenever
// the file or a setting it depends on changes, and the preview it draws.
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QSlider>
#include <filesystem>

#include "app/Canvas.h"
#include "app/Form1.h"
#include "app/ScaleTexts.h"
#include "app/StatusField.h"

namespace pm {

void Form1::StartEstimate() {
    estimates_->invalidate();
    if (caption_.empty()) {
        estimateStatus_->clear();
        return;
    }
    // While the chosen file's job runs, its time left follows the settings
    // at once, on a worker that yields to the machine; anything else that
    // runs leaves the estimate for its end.
    const bool forRunningJob = running_ == Operation::Job && caption_ == runningFile_;
    if (running_ != Operation::None && !forRunningJob) {
        estimates_->defer();
        estimateStatus_->setText(QStringLiteral("Estimativa após a operação"));
        return;
    }
    EstimateSettings settings;
    settings.divisor = Text3_->text().toStdString();
    settings.speed = Slider2_->value();
    settings.scale = Slider1_->value();
    settings.motors = Check1_->isChecked();
    settings.machineSettings = machineSettings_;  // the ramps and the travel speed
    settings.fromStatement = jobFrom_;
    estimates_->start(caption_, settings, FileStamp(), forRunningJob);
    estimateStatus_->setText(QStringLiteral("Estimando a duração\u2026"));
}

QString Form1::FileStamp() const {
    // The file system's own time, to the nanosecond where it keeps that.
    std::error_code ec;
    const std::filesystem::path p(caption_);
    const auto time = std::filesystem::last_write_time(p, ec).time_since_epoch().count();
    const auto size = std::filesystem::file_size(p, ec);
    return QString::fromStdString(caption_ + '|' + std::to_string(time) + '|' + std::to_string(size));
}

void Form1::DropStalePreview() {
    if (estimates_->pending() || estimates_->estimate() == nullptr || previewStamp_ != FileStamp())
        Picture1_->setUnderlay(QImage(), false);
}

void Form1::EstimateArrived(const JobEstimate& e, const QImage& preview, const QString& stamp) {
    previewStamp_ = stamp;
    // A new drawing (another file, divisor or scale) replaces what the
    // canvas shows while nothing runs; the same one leaves the last job's
    // dots in place.
    if (preview != Picture1_->underlay()) Picture1_->setUnderlay(preview, running_ == Operation::None);
    if (running_ == Operation::Job && caption_ == runningFile_) jobProgress_.estimated(e);
    estimateStatus_->setText(EstimateText(e, machineSettings_));
    UpdateProgressStatus();
}

}  // namespace pm
