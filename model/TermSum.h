#pragma once

#include <cmath>
#include <cstdint>

class TermHelper;

// The exponent's sum, LESum = (1 / dt) * ln(Dist / d0) + LESum, term by term in step order.
// A term that provably cannot fail, nor make the sum fail, is put off and taken with others
// in a batch, on a helper thread when one is free: the logarithms then leave the model's
// own thread, and the sum is the same, operation by operation, whenever it is taken.
class TermSum {
  public:
    explicit TermSum(double d0);
    ~TermSum();
    TermSum(const TermSum&) = delete;
    TermSum& operator=(const TermSum&) = delete;

    // Whether the term of a step with these values may wait. With Dist and |1 / dt| at most
    // 1e290, Dist / d0 is finite and |ln(Dist / d0)| < 746, so a term stays below 7.5e292;
    // with fewer than 2^40 such terms on a sum of at most 1e307, the sum stays inside the
    // double range. Any other term is taken at once, after the waiting ones.
    bool Can_Wait(double recip, double Dist) const {
        return Dist <= SafeDist && std::fabs(recip) <= SafeReciprocal &&
               std::fabs(known_) <= SafeSum && waiting_ < MaxWaiting;
    }
    void Wait(double recip, double Dist) {
        recip_[count_] = recip;
        dist_[count_] = Dist;
        ++waiting_;
        if (++count_ == BatchSize) batchFull();
    }
    // The sum of every term so far.
    double Total();
    // The sum after a term taken at once (Total() + that term).
    void Restart(double LESum);

  private:
    static constexpr double SafeDist = 1e290, SafeReciprocal = 1e290, SafeSum = 1e307;
    static constexpr long long MaxWaiting = 1LL << 40;
    // Each batch handed over costs the run a cache line fetched back from the helper's
    // core; 128 terms make that rare enough to vanish in the steps.
    static constexpr int BatchSize = 128;
    double d0_;
    double known_ = 0;       // the sum before the terms still waiting
    long long waiting_ = 0;  // terms added since known_
    TermHelper* helper_ = nullptr;
    // The batch being filled: here, or in the helper's ring from `published_` on.
    double* recip_;
    double* dist_;
    int count_ = 0;
    uint64_t published_ = 0;
    double ownRecip_[BatchSize];
    double ownDist_[BatchSize];

    void batchFull();
    double batchSum(double sum) const;
};
