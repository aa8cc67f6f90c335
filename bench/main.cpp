// zqcrypt_bench: Google Benchmark's usual console output, then a table that
// sets each "<case>/<size>/zqcrypt" benchmark beside every "<case>/<size>/<peer>"
// benchmark of the same case and size, with the ratio peer time / zqcrypt time
// (above 1: zqcrypt is faster) and, where the benchmarks count bytes, their
// throughput. Times are CPU times, which other work on a shared machine
// disturbs least. With --benchmark_repetitions the table uses the median of the
// repetitions. All of Google Benchmark's flags work as usual. A benchmark
// that reports an error (a result that fails its check, for one) makes the
// program exit with status 1 once the table is printed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// RatioReporter prints what the console reporter prints and keeps, per case,
// size and implementation, the CPU time per iteration (in ns) and the byte
// rate of every plain run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) failed_.push_back(run.benchmark_name() + ": " + run.error_message);
            // Plain runs, or only the median where the aggregates alone are
            // reported (--benchmark_report_aggregates_only).
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (run.error_occurred || (aggregate && run.aggregate_name != "median")) continue;
            // The registered name, without the "/real_time" and similar
            // suffixes; arguments, where a benchmark has them, are kept apart.
            const std::string& name = run.run_name.function_name;
            const size_t slash = name.rfind('/');
            if (slash == std::string::npos) continue;
            const Key key{name.substr(0, slash), run.run_name.args};
            if (measurements_.find(key) == measurements_.end()) order_.push_back(key);
            Samples& samples = measurements_[key][name.substr(slash + 1)].samples[aggregate ? 1 : 0];
            samples.nanoseconds.push_back(run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9);
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) samples.bytesPerSecond.push_back(rate->second.value);
        }
    }

    // printTable writes the side-by-side table of every case and size that
    // has a zqcrypt benchmark and at least one peer.
    void printTable() const {
        struct Row {
            std::string label, peer;
            double zqTime, peerTime, zqRate, peerRate;
        };
        std::vector<Row> rows;
        for (const Key& key : order_) {
            const auto& byImplementation = measurements_.at(key);
            const auto zq = byImplementation.find("zqcrypt");
            if (zq == byImplementation.end()) continue;
            // Arguments show only where one case/size runs with several.
            std::string label = key.prefix;
            for (const Key& other : order_) {
                if (other.prefix == key.prefix && other.args != key.args) label += " [" + key.args + "]";
                if (label.size() != key.prefix.size()) break;
            }
            for (const auto& [peer, measurement] : byImplementation) {
                if (peer == "zqcrypt") continue;
                const Samples& z = zq->second.best();
                const Samples& p = measurement.best();
                rows.push_back({label, peer, median(z.nanoseconds), median(p.nanoseconds), median(z.bytesPerSecond),
                                median(p.bytesPerSecond)});
            }
        }
        if (rows.empty()) return;

        size_t labelWidth = 9;
        size_t peerWidth = 4;
        for (const Row& row : rows) {
            labelWidth = std::max(labelWidth, row.label.size());
            peerWidth = std::max(peerWidth, row.peer.size());
        }
        const int lw = static_cast<int>(labelWidth), pw = static_cast<int>(peerWidth);
        std::printf("\nzqcrypt beside its peers (CPU time per call, median of the repetitions; "
                    "ratio = peer time / zqcrypt time, above 1 means zqcrypt is faster)\n\n");
        std::printf("%-*s  %-*s  %12s  %12s  %7s  %13s  %13s\n", lw, "case/size", pw, "peer", "zqcrypt",
                    "peer", "ratio", "zqcrypt MiB/s", "peer MiB/s");
        for (const Row& row : rows) {
            std::printf("%-*s  %-*s  %12s  %12s  %7.2f  %13s  %13s\n", lw, row.label.c_str(), pw, row.peer.c_str(),
                        formatTime(row.zqTime).c_str(), formatTime(row.peerTime).c_str(),
                        row.peerTime / row.zqTime, formatRate(row.zqRate).c_str(), formatRate(row.peerRate).c_str());
        }
        std::fflush(stdout);
    }

    // failures lists the benchmarks that reported an error, with the error.
    const std::vector<std::string>& failures() const { return failed_; }

private:
    struct Samples {
        std::vector<double> nanoseconds;
        std::vector<double> bytesPerSecond;
    };
    // The plain runs of one benchmark (samples[0]) and the median that
    // Google Benchmark computed over its repetitions (samples[1]).
    struct Measurement {
        Samples samples[2];
        const Samples& best() const { return samples[0].nanoseconds.empty() ? samples[1] : samples[0]; }
    };

    static double median(std::vector<double> values) {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        const size_t middle = values.size() / 2;
        return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    static std::string formatTime(double nanoseconds) {
        char text[32];
        if (nanoseconds < 1e4) std::snprintf(text, sizeof text, "%.1f ns", nanoseconds);
        else if (nanoseconds < 1e7) std::snprintf(text, sizeof text, "%.2f us", nanoseconds / 1e3);
        else std::snprintf(text, sizeof text, "%.2f ms", nanoseconds / 1e6);
        return text;
    }

    static std::string formatRate(double bytesPerSecond) {
        if (bytesPerSecond <= 0) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", bytesPerSecond / (1024.0 * 1024.0));
        return text;
    }

    // A case and size ("md5/1KiB") with the benchmark's arguments, if any.
    struct Key {
        std::string prefix, args;
        bool operator<(const Key& other) const {
            return prefix != other.prefix ? prefix < other.prefix : args < other.args;
        }
    };

    std::map<Key, std::map<std::string, Measurement>> measurements_;  // by key, then implementation
    std::vector<Key> order_;  // keys in the order they first ran
    std::vector<std::string> failed_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                 : benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printTable();
    benchmark::Shutdown();
    for (const std::string& failure : reporter.failures()) std::fprintf(stderr, "failed: %s\n", failure.c_str());
    return reporter.failures().empty() ? 0 : 1;
}
