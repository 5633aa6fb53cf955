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
        std::printf("  %-52s %12.3f ms vs %12.3f ms  = %7.1fx\n", pair.label.c_str(), ours->second * 1e3,
                    theirs->second * 1e3, theirs->second / ours->second);
    }
    return 0;
}
