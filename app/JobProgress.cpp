#include "app/JobProgress.h"

#include <algorithm>

#include "motion/MachinePosition.h"

namespace pm {

void JobProgress::start(std::int64_t nowNs, const JobEstimate* estimate) {
    *this = JobProgress{};
    started_ = true;
    running_ = true;
    startNs_ = endNs_ = statementNs_ = nowNs;
    if (estimate != nullptr) estimate_ = *estimate;
}

void JobProgress::estimated(const JobEstimate& estimate) {
    if (running_) estimate_ = estimate;
}

void JobProgress::statement(std::uint64_t n, double x, double y, std::int64_t nowNs) {
    x_ = x;
    y_ = y;
    if (n == n_) return;
    n_ = n;
    statementNs_ = paused_ ? pausedNs_ : nowNs;
}

void JobProgress::paused(bool on, std::int64_t nowNs) {
    if (on == paused_ || !running_) return;
    paused_ = on;
    if (on) {
        pausedNs_ = nowNs;
    } else {
        statementNs_ += nowNs - pausedNs_;  // the pause is no part of the statement's time
    }
}

void JobProgress::end(std::int64_t nowNs) {
    if (!running_) return;
    running_ = false;
    paused_ = false;
    endNs_ = nowNs;
}

std::optional<std::int64_t> JobProgress::left(std::int64_t nowNs) const {
    if (!estimate_ || !estimate_->ok) return std::nullopt;
    const std::vector<std::int64_t>& at = estimate_->listedNs;
    if (n_ > at.size()) return std::nullopt;
    const std::int64_t total = estimate_->durationNs;
    const std::int64_t from = n_ == 0 ? 0 : at[n_ - 1];
    const std::int64_t next = n_ < at.size() ? at[n_] : total;
    const std::int64_t spent = (paused_ ? pausedNs_ : nowNs) - statementNs_;
    return std::max<std::int64_t>(0, total - from - std::clamp<std::int64_t>(spent, 0, next - from));
}

QString JobProgress::text(std::int64_t nowNs, const MachineSettings& m) const {
    if (!started_) return {};
    // Past its last statement the job names the one after it.
    const bool counted = estimate_ && estimate_->ok;
    QString t = QStringLiteral("Lido: %1").arg(counted ? std::min<std::uint64_t>(n_, estimate_->statements) : n_);
    if (counted) t += QStringLiteral(" de %1").arg(estimate_->statements);
    if (running_) {
        const auto l = left(nowNs);
        t += QStringLiteral(" \u00b7 restante ") +
             (l ? QString::fromStdString(FormatDuration(*l)) : QStringLiteral("\u2014"));
    } else {
        t += QStringLiteral(" \u00b7 decorrido ") + QString::fromStdString(FormatDuration(endNs_ - startNs_));
    }
    t += QStringLiteral(" \u00b7 X %1 Y %2 mm")
             .arg(QString::fromStdString(Millimetres(x_ / m.StepsPerMmX)),
                  QString::fromStdString(Millimetres(y_ / m.StepsPerMmY)));
    return t;
}

QString JobProgress::detail(std::int64_t nowNs) const {
    if (!started_) return {};
    const std::int64_t end = running_ ? (paused_ ? pausedNs_ : nowNs) : endNs_;
    QString d = QStringLiteral("Decorrido: ") + QString::fromStdString(FormatDuration(end - startNs_));
    d += QStringLiteral("\nPosição da ferramenta a partir da origem do trabalho");
    return d;
}

}  // namespace pm
