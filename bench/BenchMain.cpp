#include <benchmark/benchmark.h>

#include <functional>
#include <utility>
#include <vector>

#include "BenchRun.h"

// lv-bench's entry point. What the benchmarks leave to tear down goes at the end of main,
// while the libraries it belongs to are still whole: a window must not outlive its toolkit's
// own static objects, which the exit handlers destroy in an order nobody controls.

namespace {

std::vector<std::function<void()>>& endWork() {
    static std::vector<std::function<void()>> work;
    return work;
}

}  // namespace

void At_Bench_End(std::function<void()> work) {
    endWork().push_back(std::move(work));
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto work = endWork().rbegin(); work != endWork().rend(); ++work) (*work)();
    return 0;
}
