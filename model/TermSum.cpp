#include "TermSum.h"

#include <cstring>

#include "LaneVector.h"

namespace {

// One step's term in each lane, by the arithmetic of Exponent_Term for a double, then the
// first `count` of them added to `sum` in step order, straight from the vector's lanes.
template <class V>
[[gnu::always_inline]] inline double addTerms(const double* recip, const double* Dist, double d0,
                                              int count, double sum) {
    static_assert(sizeof(V) == TermSum::Batch * sizeof(double));
    V r, d;
    std::memcpy(&r, recip, sizeof r);
    std::memcpy(&d, Dist, sizeof d);
    const V t = Exponent_Term(r, d, d0);
    double terms[TermSum::Batch];
    std::memcpy(terms, &t, sizeof t);
    if (count == TermSum::Batch) {
#pragma GCC unroll 8
        for (int i = 0; i < TermSum::Batch; ++i) sum = terms[i] + sum;
        return sum;
    }
    for (int i = 0; i < count; ++i) sum = terms[i] + sum;
    return sum;
}

using TwoLanes = Lane_Vector<2>::V;
using FourLanes = Lane_Vector<4>::V;
using EightLanes = Lane_Vector<8>::V;

double termsGeneric(const double* recip, const double* Dist, double d0, int count, double sum) {
    return addTerms<Lane_Pair<Lane_Pair<TwoLanes>>>(recip, Dist, d0, count, sum);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define LV_TERMS_X86 1
[[gnu::target("avx2")]] double termsAvx2(const double* recip, const double* Dist, double d0,
                                         int count, double sum) {
    return addTerms<Lane_Pair<FourLanes>>(recip, Dist, d0, count, sum);
}
[[gnu::target("avx512f")]] double termsAvx512(const double* recip, const double* Dist, double d0,
                                              int count, double sum) {
    return addTerms<EightLanes>(recip, Dist, d0, count, sum);
}
#endif

std::vector<TermBatchBuild> buildsHere() {
    std::vector<TermBatchBuild> builds;
#ifdef LV_TERMS_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) builds.push_back({"avx512f/8", termsAvx512});
    if (__builtin_cpu_supports("avx2")) builds.push_back({"avx2/4x2", termsAvx2});
#endif
    builds.push_back({"generic/2x2x2", termsGeneric});
    return builds;
}

TermBatchRoutine widest() {
    static const TermBatchRoutine routine = Term_Batch_Builds().front().add;
    return routine;
}

}  // namespace

const std::vector<TermBatchBuild>& Term_Batch_Builds() {
    static const std::vector<TermBatchBuild> builds = buildsHere();
    return builds;
}

TermSum::TermSum(double d0) : d0_(d0) {
    // Slots not yet waiting hold a term of 0 (ln 1 times 0), which raises no flag.
    for (int i = 0; i < Batch; ++i) {
        recip_[i] = 0;
        dist_[i] = d0;
    }
    (void)widest();  // chosen here, not inside a run's first batch
}

void TermSum::addWaiting() {
    known_ = widest()(recip_, dist_, d0_, waiting_, known_);
    waiting_ = 0;
}

double TermSum::Total() const {
    return waiting_ == 0 ? known_ : widest()(recip_, dist_, d0_, waiting_, known_);
}
