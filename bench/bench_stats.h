#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

// Prints the median and 99th percentile of a set of durations, in milliseconds.
inline void PrintDistribution(const char* label, std::vector<std::chrono::nanoseconds> samples) {
    if (samples.empty()) {
        std::printf("%-48s no samples\n", label);
        return;
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double quantile) {
        const auto index =
            static_cast<std::size_t>(quantile * static_cast<double>(samples.size() - 1));
        return std::chrono::duration<double, std::milli>(samples[index]).count();
    };
    std::printf("%-48s median %8.3f ms   p99 %8.3f ms   (n=%zu)\n", label, at(0.5), at(0.99),
                samples.size());
}

inline double Milliseconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}
