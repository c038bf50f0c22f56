// Timing for the benchmarks: a stopwatch on the performance counter, and
// the median and percentiles of a run's measurements.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace bench
{
class CStopwatch
{
public:
    CStopwatch() { QueryPerformanceCounter(&m_start); }
    double Seconds() const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return double(now.QuadPart - m_start.QuadPart) / double(frequency.QuadPart);
    }
    double Milliseconds() const { return 1000.0 * Seconds(); }

private:
    LARGE_INTEGER m_start;
};

inline double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

inline double Median(const std::vector<double>& values)
{
    return Percentile(values, 0.5);
}
} // namespace bench
