#include "motion/StepTiming.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace pm {

StepLateness::StepLateness() : buckets_(kBuckets, 0) {}

void StepLateness::add(std::int64_t lateNs, std::int64_t periodNs) {
    if (lateNs < 0) lateNs = 0;  // a step within the clock's tolerance is on time
    ++count_;
    max_ = std::max(max_, lateNs);
    if (periodNs > 0 && lateNs * 10 > periodNs) ++late_;
    const auto b = static_cast<std::size_t>(std::min<std::int64_t>(lateNs / 1000, kBuckets - 1));
    ++buckets_[b];
}

std::int64_t StepLateness::quantileNs(double q) const {
    if (count_ == 0) return 0;
    const auto rank = static_cast<std::uint64_t>(q * static_cast<double>(count_ - 1));
    std::uint64_t seen = 0;
    for (std::size_t b = 0; b < kBuckets; ++b) {
        seen += buckets_[b];
        if (seen > rank) return std::min<std::int64_t>(static_cast<std::int64_t>(b) * 1000, max_);
    }
    return max_;
}

std::string StepLateness::fields() const {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  " late_median_ns=%" PRId64 " late_p99_ns=%" PRId64 " late_max_ns=%" PRId64
                  " late_count=%" PRIu64 " steps=%" PRIu64,
                  medianNs(), p99Ns(), maxNs(), lateCount(), count());
    return buf;
}

std::string StepLateness::summary() const {
    char buf[240];
    std::snprintf(buf, sizeof buf,
                  "atraso dos passos: mediana %.0f µs, p99 %.0f µs, máximo %.0f µs; %" PRIu64
                  " de %" PRIu64 " passos com atraso maior que um décimo do período",
                  static_cast<double>(medianNs()) / 1000, static_cast<double>(p99Ns()) / 1000,
                  static_cast<double>(maxNs()) / 1000, lateCount(), count());
    return buf;
}

}  // namespace pm
