#pragma once

#include <cmath>

#include "StepArithmetic.h"

// The exponent's sum, LESum = (1 / dt) * ln(Dist / d0) + LESum, term by term in step order.
// A term that provably cannot fail, nor make the sum fail, waits one step: its logarithm is
// then taken while the next step runs, not on the path from one step to the next, and the
// sum is the same, operation by operation, as if it had been taken at once.
class TermSum {
  public:
    explicit TermSum(double d0) : d0_(d0) {}

    // Whether the term of a step with these values may wait. With Dist and |1 / dt| at most
    // 1e290, Dist / d0 is finite and |ln(Dist / d0)| < 746, so a term stays below 7.5e292.
    // The sum itself is checked against 1e307 once every Budget terms, which is enough: that
    // many terms move it by less than 4.8e294, far inside the double range. Checking it at
    // every step would make each step's decision wait for the previous logarithm.
    bool Can_Wait(double recip, double Dist) const {
        return Dist <= SafeDist && std::fabs(recip) <= SafeReciprocal && budget_ > 0;
    }
    void Wait(double recip, double Dist) {
        if (waiting_) known_ = term(recip_, dist_) + known_;
        recip_ = recip;
        dist_ = Dist;
        waiting_ = true;
        // The sum before the term just put off: one term more is well inside the margin, and
        // its logarithm is not taken twice.
        if (--budget_ == 0) budget_ = budgetFor(known_);
    }
    // The sum of every term so far.
    double Total() const { return waiting_ ? term(recip_, dist_) + known_ : known_; }
    // The sum after a term taken at once (Total() + that term).
    void Restart(double LESum) {
        known_ = LESum;
        waiting_ = false;
        budget_ = budgetFor(LESum);
    }

  private:
    static constexpr double SafeDist = 1e290, SafeReciprocal = 1e290, SafeSum = 1e307;
    static constexpr int Budget = 64;
    double term(double recip, double Dist) const { return Exponent_Term(recip, Dist, d0_); }
    static int budgetFor(double sum) { return std::fabs(sum) <= SafeSum ? Budget : 0; }
    double d0_;
    double known_ = 0;  // the sum before the waiting term
    double recip_ = 0, dist_ = 0;
    bool waiting_ = false;
    int budget_ = Budget;  // terms that may still wait before the sum is checked again
};
