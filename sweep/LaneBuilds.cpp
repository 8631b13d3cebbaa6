#include "LaneBuilds.h"

#include <algorithm>
#include <atomic>

#include "FastestCandidate.h"
#include "FloatEnvironment.h"
#include "Model.h"

namespace {

std::vector<LaneBuild> buildsHere() {
    std::vector<LaneBuild> builds;
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq")) {
        builds.push_back({"avx512f/8x2", 8, 16, Lane_Routine_Avx512});
        builds.push_back({"avx512f/8", 8, 8, Lane_Routine_Avx512});
        builds.push_back({"avx512f/4", 4, 4, Lane_Routine_Avx512});
    }
    if (__builtin_cpu_supports("avx2")) {
        builds.push_back({"avx2/4x2", 4, 8, Lane_Routine_Avx2});
        builds.push_back({"avx2/4", 4, 4, Lane_Routine_Avx2});
    }
#endif
    builds.push_back({"generic/2x2", 2, 4, Lane_Routine_Generic});
    return builds;
}

// Competitive systems of n species whose populations settle without dying out, clamping or
// growing without bound, a little different in every lane: their steps cost what a typical
// step costs, and none ends or fails.
void fillScratch(LaneState& s) {
    const int n = s.n, width = s.width;
    s.d0 = 1e-12;
    s.screen = 65;
    for (int l = 0; l < width; ++l) {
        for (int k = 0; k < n; ++k) {
            s.x[k * width + l] = s.xe[k * width + l] = 0.2 + 0.6 * ((k * 7 + l) % 11) / 11.0;
            s.r[k * width + l] = 0.5 + 0.5 * k / n;
            for (int j = 0; j < n; ++j) {
                const double a = j == k ? 1 : 0.5 * ((j * 3 + k * 5) % 7) / (7.0 * n);
                if (s.laneMatrix)
                    s.a[(k * n + j) * width + l] = a;
                else
                    s.a[k * n + j] = a;
            }
        }
        s.xe[l] += 1e-9;
        s.dt[l] = 0.01;
        s.recip[l] = 100;
        s.time[l] = s.total[l] = s.LESum[l] = 0;
        s.bad[l] = 0;
    }
}

// Time per system and step of each build, on scratch systems.
int fastestBuild(int n, bool laneMatrix) {
    const std::vector<LaneBuild>& builds = Lane_Builds();
    if (builds.size() == 1) return 0;
    const FloatEnvironment environment;
    // Stretches of about the same work whatever the count: a tenth of a millisecond or so.
    constexpr int Rounds = 5;
    const long long Steps = std::max(48, 20000 / (n * n));
    std::vector<LaneState> states;
    for (const LaneBuild& build : builds) {
        states.emplace_back(build.width, n, laneMatrix);
        fillScratch(states.back());
    }
    return static_cast<int>(Fastest_Candidate(builds.size(), Rounds, [&](std::size_t i) {
        const long long done = builds[i].routine(n, laneMatrix)(states[i], Steps);
        return double(done * builds[i].width);
    }));
}

// By count and matrix kind: 1 + the index of the build chosen, 0 before the first request.
std::atomic<int> chosen[MaxSpecies + 1][2];

}  // namespace

const std::vector<LaneBuild>& Lane_Builds() {
    static const std::vector<LaneBuild> builds = buildsHere();
    return builds;
}

const LaneBuild& Lane_Build_For(int n, bool laneMatrix) {
    const std::vector<LaneBuild>& builds = Lane_Builds();
    if (n < 1 || n > MaxSpecies) return builds.front();
    std::atomic<int>& choice = chosen[n][laneMatrix ? 1 : 0];
    int index = choice.load(std::memory_order_relaxed);
    if (index == 0) {
        index = 1 + fastestBuild(n, laneMatrix);
        choice.store(index, std::memory_order_relaxed);
    }
    return builds[std::size_t(index - 1)];
}
