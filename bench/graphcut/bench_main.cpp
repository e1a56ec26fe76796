// Runs the benchmarks and prints, for every "<name>/ours" (the solver the
// program runs) and each peer "<name>/reference" (the reference optimiser or
// its Graph) and "<name>/boost" (Boost.Graph) of the same run, the ratios of
// our real and CPU times to the peer's (the CPU ratio is the steadier one on
// a shared machine).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "mean")
        continue;
      times_[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                      run.GetAdjustedCPUTime()};
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [name, ours] : times_) {
      std::size_t at = name.find("/ours");
      if (at == std::string::npos) continue;
      for (const char* peerName : {"reference", "boost"}) {
        std::string peer =
            name.substr(0, at) + "/" + peerName + name.substr(at + 5);
        auto found = times_.find(peer);
        // A run that failed (no photograph, say) has no times to compare.
        if (found == times_.end() || !(ours.second > 0) ||
            !(found->second.second > 0)) {
          continue;
        }
        std::printf("ratio %-40s ours / %-9s: real time %.3f, cpu time %.3f\n",
                    (name.substr(0, at) + name.substr(at + 5)).c_str(),
                    peerName, ours.first / found->second.first,
                    ours.second / found->second.second);
      }
    }
  }

 private:
  std::map<std::string, std::pair<double, double>> times_;  // real, cpu
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
