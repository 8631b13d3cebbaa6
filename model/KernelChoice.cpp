#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "FastestCandidate.h"
#include "FloatEnvironment.h"
#include "KernelBuilds.h"
#include "LvError.h"
#include "Model.h"
#include "ModelKernel.h"

// Which build of the step routine each species count uses: the one forced, or else the
// fastest on this processor, found by timing them all at the first request for the count.

namespace {

constexpr int Unset = -2;    // no build forced by the program: the environment decides
constexpr int Measure = -1;  // none forced at all

std::atomic<int> forcedByProgram{Unset};
// By count: 1 + the index of the build chosen, 0 before the first request.
std::atomic<int> chosen[MaxSpecies + 1];

int indexOf(const std::string& name, const std::string& where) {
    const std::vector<KernelBuild>& builds = Kernel_Builds();
    std::string names;
    for (std::size_t i = 0; i < builds.size(); ++i) {
        if (name == builds[i].name) return static_cast<int>(i);
        names += (i > 0 ? ", " : "") + std::string(builds[i].name);
    }
    throw LvError(ErrorKind::InvalidCall, where + Quote_For_Message(name) +
                                              ": no step routine of that name on this "
                                              "processor, which has " +
                                              names);
}

int forcedBuild() {
    const int forced = forcedByProgram.load(std::memory_order_relaxed);
    if (forced != Unset) return forced;
    const char* name = std::getenv(KernelRoutineVariable);
    if (name == nullptr || *name == '\0') return Measure;
    return indexOf(name, std::string(KernelRoutineVariable) + "=");
}

// A competitive model of n species whose populations settle without dying out, clamping or
// growing without bound: its steps cost what a typical step costs, and raise no failure.
void fillScratch(KernelState& s, int n) {
    s.n = n;
    s.from = 0;
    for (int k = 0; k < n; ++k) {
        s.r[k] = 0.5 + 0.5 * k / n;
        s.x[0][k] = s.xe[0][k] = 0.2 + 0.6 * ((k * 7) % 11) / 11.0;
        for (int j = 0; j < n; ++j)
            s.aT[j][k] = j == k ? 1 : 0.5 * ((j * 3 + k * 5) % 7) / (7.0 * n);
    }
    s.xe[0][0] += 1e-9;
}

// A few short stretches of steps of each build, on a scratch state.
int fastestBuild(int n) {
    const std::vector<KernelBuild>& builds = Kernel_Builds();
    if (builds.size() == 1) return 0;
    constexpr int Rounds = 6, Steps = 64;
    const FloatEnvironment environment;  // the flags raised here must not reach the caller
    auto scratch = std::make_unique<KernelState>();
    fillScratch(*scratch, n);
    return static_cast<int>(Fastest_Candidate(builds.size(), Rounds, [&](std::size_t i) {
        const KernelRoutine step = builds[i].routine(n);
        scratch->sumsReady = false;  // the last build may not have left them
        for (int k = 0; k < Steps; ++k) {
            step(*scratch, 0.01, 1e-12);
            scratch->from = 1 - scratch->from;
        }
        return 1.0;
    }));
}

int buildFor(int n) {
    if (const int forced = forcedBuild(); forced != Measure) return forced;
    if (n < 1 || n > MaxSpecies) return 0;  // no rows to time; any build does
    int choice = chosen[n].load(std::memory_order_relaxed);
    if (choice == 0) {
        choice = 1 + fastestBuild(n);
        chosen[n].store(choice, std::memory_order_relaxed);
    }
    return choice - 1;
}

}  // namespace

KernelRoutine Kernel_Routine(int n) {
    return Kernel_Builds()[buildFor(n)].routine(n);
}

KernelRoutine Kernel_Routine_If_Chosen(int n) {
    const int forced = forcedBuild();
    if (forced == Measure && n >= 1 && n <= MaxSpecies &&
        chosen[n].load(std::memory_order_relaxed) == 0)
        return nullptr;
    return Kernel_Routine(n);
}

KernelRoutine Kernel_Provisional_Routine(int n) {
    // Four lanes with the next step's sums taken ahead won at every count on the processors
    // measured; the widest instruction set that has them, else the first build.
    const std::vector<KernelBuild>& builds = Kernel_Builds();
    for (const KernelBuild& b : builds)
        if (std::string(b.name).ends_with("/4-ahead")) return b.routine(n);
    return builds.front().routine(n);
}

const char* Kernel_Routine_Name(int n) {
    return Kernel_Builds()[buildFor(n)].name;
}

std::vector<const char*> Kernel_Routine_Names() {
    std::vector<const char*> names;
    for (const KernelBuild& build : Kernel_Builds()) names.push_back(build.name);
    return names;
}

void Force_Kernel_Routine(const std::optional<std::string>& name) {
    const int forced = name ? indexOf(*name, "step routine ") : Unset;
    if (!name)
        for (std::atomic<int>& choice : chosen) choice.store(0, std::memory_order_relaxed);
    forcedByProgram.store(forced, std::memory_order_relaxed);
}
