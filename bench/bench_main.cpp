#include "bench_main.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

namespace kalvo::bench {

namespace {

struct Pair
{
    std::string label, ours, theirs;
};

std::vector<Pair> &pairs()
{
    static std::vector<Pair> all;
    return all;
}

// Remembers every result's time per iteration while printing as usual.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

std::string readable(double seconds);
std::string readable(double seconds)
{
    char text[32];
    if (seconds < 1e-6)
        std::snprintf(text, sizeof text, "%.2f ns", seconds * 1e9);
    else if (seconds < 1e-3)
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    return text;
}

void compare(const std::string &label, const std::string &ours, const std::string &theirs)
{
    pairs().push_back({label, ours, theirs});
}

} // namespace kalvo::bench

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    kalvo::bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    bool header = false;
    for (const auto &pair : kalvo::bench::pairs()) {
        auto ours = reporter.seconds.find(pair.ours);
        auto theirs = reporter.seconds.find(pair.theirs);
        if (ours == reporter.seconds.end() || theirs == reporter.seconds.end() || ours->second <= 0)
            continue;
        if (!header) {
            std::printf("\nSide by side (time per iteration; ratio = Qt time / Kalvo time):\n");
            header = true;
        }
        std::printf("  %-52s %14s vs %14s  = %7.2fx\n", pair.label.c_str(), kalvo::bench::readable(ours->second).c_str(),
                    kalvo::bench::readable(theirs->second).c_str(), theirs->second / ours->second);
    }
    return 0;
}
