#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pm {

// How late the steps of a run came after the moment they were due: each
// step's lateness (the write's time less its deadline) and its period, in a
// histogram of 1 µs buckets up to 100 ms (later ones count in the last), so
// a job of any length takes the same memory.
class StepLateness {
public:
    StepLateness();
    void add(std::int64_t lateNs, std::int64_t periodNs);

    std::uint64_t count() const { return count_; }
    // The median and the 99th percentile, to the µs (their bucket's lower
    // edge), and the latest exactly; 0 with no steps.
    std::int64_t medianNs() const { return quantileNs(0.5); }
    std::int64_t p99Ns() const { return quantileNs(0.99); }
    std::int64_t maxNs() const { return max_; }
    // Steps later than a tenth of their period.
    std::uint64_t lateCount() const { return late_; }

    // " late_median_ns=.. late_p99_ns=.. late_max_ns=.. late_count=.. steps=..".
    std::string fields() const;
    // The same for the operator: "atraso dos passos: mediana 3 µs, ...".
    std::string summary() const;

private:
    std::int64_t quantileNs(double q) const;
    static constexpr std::size_t kBuckets = 100'000;  // of 1 µs
    std::vector<std::uint64_t> buckets_;
    std::uint64_t count_ = 0;
    std::uint64_t late_ = 0;
    std::int64_t max_ = 0;
};

}  // namespace pm
