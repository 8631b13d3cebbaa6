#pragma once

#include <cmath>
#include <vector>

#include "StepArithmetic.h"

// The exponent's sum, LESum = (1 / dt) * ln(Dist / d0) + LESum, term by term in step order.
// A term that provably cannot fail, nor make the sum fail, waits: the terms of Batch steps
// are kept, and their logarithms taken together, one step's in each lane of a vector, while
// the next steps run. Taken one at a time, each step's logarithm would hold up the steps
// after it; together they cost about what one does. Each term is the same, operation by
// operation, as if it had been taken at once, and the terms are added in step order.
class TermSum {
  public:
    static constexpr int Batch = 8;

    explicit TermSum(double d0);

    // Whether the term of a step with these values may wait. With Dist and |1 / dt| at most
    // 1e290, Dist / d0 is finite and |ln(Dist / d0)| < 746, so a term stays below 7.5e292.
    // The sum is checked against 1e307 once every Budget terms, which is enough: the terms
    // still waiting at the check and that many more move it by less than 5.4e294, far inside
    // the double range. Checking it at every step would make each step's decision wait for
    // the logarithms.
    bool Can_Wait(double recip, double Dist) const {
        return Dist <= SafeDist && std::fabs(recip) <= SafeReciprocal && budget_ > 0;
    }
    void Wait(double recip, double Dist) {
        if (waiting_ == Batch) addWaiting();
        recip_[waiting_] = recip;
        dist_[waiting_] = Dist;
        ++waiting_;
        if (--budget_ == 0) budget_ = budgetFor(known_);
    }
    // The sum of every term so far.
    double Total() const;
    // The sum after a term taken at once (Total() + that term).
    void Restart(double LESum) {
        known_ = LESum;
        waiting_ = 0;
        budget_ = budgetFor(LESum);
    }

  private:
    static constexpr double SafeDist = 1e290, SafeReciprocal = 1e290, SafeSum = 1e307;
    static constexpr int Budget = 64;
    static int budgetFor(double sum) { return std::fabs(sum) <= SafeSum ? Budget : 0; }
    void addWaiting();
    double d0_;
    double known_ = 0;  // the sum before the waiting terms
    alignas(64) double recip_[Batch];
    alignas(64) double dist_[Batch];
    int waiting_ = 0;
    int budget_ = Budget;  // terms that may still wait before the sum is checked again
};

// The sum after the first `count` terms of a batch, Exponent_Term(recip[i], Dist[i], d0) for
// i < count, added to `sum` in order; all TermSum::Batch slots hold values whose term raises
// no flag. The terms are taken in vectors of an instruction set, and every build gives the
// same bits.
using TermBatchRoutine = double (*)(const double* recip, const double* Dist, double d0, int count,
                                    double sum);
struct TermBatchBuild {
    const char* name;
    TermBatchRoutine add;
};
// The builds this processor runs, widest first; a TermSum uses the first.
const std::vector<TermBatchBuild>& Term_Batch_Builds();
