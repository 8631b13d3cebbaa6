#pragma once

#include <cmath>

// The exponent's sum, LESum = (1 / dt) * ln(Dist / d0) + LESum, term by term in step order.
// A term that provably cannot fail, nor make the sum fail, is put off and taken with others
// in a batch: their logarithms then stay off the path from one step to the next, and the
// sum is the same, operation by operation, whenever it is taken.
class TermSum {
  public:
    explicit TermSum(double d0) : d0_(d0) {}

    // Whether the term of a step with these values may wait. With Dist and |1 / dt| at most
    // 1e290, Dist / d0 is finite and |ln(Dist / d0)| < 746, so a term stays below 7.5e292;
    // with |LESum| at most 1e307, LESum plus a full batch of such terms stays inside the
    // double range. Any other term is taken at once, after the waiting ones.
    bool Can_Wait(double recip, double Dist) const {
        return Dist <= SafeDist && std::fabs(recip) <= SafeReciprocal &&
               std::fabs(known_) <= SafeSum;
    }
    void Wait(double recip, double Dist) {
        recip_[count_] = recip;
        dist_[count_] = Dist;
        if (++count_ == BatchSize) {
            known_ = Total();
            count_ = 0;
        }
    }
    // The sum of every term so far.
    double Total() const;
    // The sum after a term taken at once (Total() + that term).
    void Restart(double LESum) {
        known_ = LESum;
        count_ = 0;
    }

  private:
    static constexpr double SafeDist = 1e290, SafeReciprocal = 1e290, SafeSum = 1e307;
    static constexpr int BatchSize = 64;
    double d0_;
    double known_ = 0;  // the sum before the terms still waiting
    double recip_[BatchSize];
    double dist_[BatchSize];
    int count_ = 0;
};
