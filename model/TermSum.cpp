#include "TermSum.h"

#include <atomic>
#include <chrono>
#include <cfenv>
#include <cmath>
#include <thread>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif

namespace {

// Processors this program may run on, and the one this thread is on now (-1: unknown).
int usableProcessors() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
}

int currentProcessor() {
#if defined(__linux__)
    return sched_getcpu();
#else
    return -1;
#endif
}

inline void spinPause() {
#if defined(__x86_64__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

// One thread that sums batches of terms, for one run at a time. The run writes its terms
// straight into a ring and publishes each full batch; the helper spins a while when the ring
// is empty (a batch comes every few microseconds during a run) and then sleeps until the
// next one. What each side writes sits on cache lines of its own.
class TermHelper {
  public:
    static constexpr uint64_t Capacity = 1 << 13;  // a whole number of batches

    // The helper, started on first use; nullptr where no thread can be started.
    static TermHelper* Instance() {
        static TermHelper* helper = start();
        return helper;
    }

    bool Acquire() { return !busy_.exchange(true, std::memory_order_acquire); }
    void Release() { busy_.store(false, std::memory_order_release); }

    // Sums from `sum` on; the helper is idle then.
    void Start(double sum, double d0) {
        waitIdle();
        sum_ = sum;
        d0_ = d0;
    }

    double* Recip(uint64_t i) { return &recip_[i % Capacity]; }
    double* Dist(uint64_t i) { return &dist_[i % Capacity]; }
    uint64_t Published() const { return produced_.load(std::memory_order_relaxed); }

    // Waits, if need be, until the ring has room for a batch from `from` on.
    void Make_Room(uint64_t from, uint64_t size) {
        if (from + size - consumedSeen_ <= Capacity) return;
        while (from + size - (consumedSeen_ = consumed_.load(std::memory_order_acquire)) > Capacity)
            spinPause();
    }

    // The run writes its terms into lines the helper read last time round the ring: asking
    // for them a batch ahead keeps those writes from waiting on the other core.
    void Prepare(uint64_t from, uint64_t size) {
        for (uint64_t i = 0; i < size; i += 64 / sizeof(double)) {
            __builtin_prefetch(Recip(from + i), 1);
            __builtin_prefetch(Dist(from + i), 1);
        }
    }

    void Publish(uint64_t end) {
        runProcessor_.store(currentProcessor(), std::memory_order_relaxed);
        produced_.store(end, std::memory_order_seq_cst);
        if (sleeping_.load(std::memory_order_seq_cst)) {
            wake_.fetch_add(1, std::memory_order_seq_cst);
            wake_.notify_one();
        }
    }

    // The sum of everything published, once the helper has taken it all.
    double Sum() {
        waitIdle();
        return sum_;
    }

  private:
    static constexpr int SpinLimit = 1 << 12;

    static TermHelper* start() {
        // On a single processor the helper could only take turns with the run.
        if (usableProcessors() < 2) return nullptr;
        // Never freed: the thread may still be waiting on it when the program ends.
        TermHelper* helper = new TermHelper;
        try {
            std::thread(&TermHelper::loop, helper).detach();
        } catch (...) {
            delete helper;
            return nullptr;
        }
        return helper;
    }

    void waitIdle() {
        const uint64_t p = produced_.load(std::memory_order_relaxed);
        for (int spins = 0; (consumedSeen_ = consumed_.load(std::memory_order_acquire)) != p;
             ++spins) {
            if (spins < SpinLimit)
                spinPause();
            else
                std::this_thread::yield();
        }
    }

    void loop() {
        // The run's arithmetic: round to nearest, subnormal numbers kept.
        std::fesetround(FE_TONEAREST);
#if defined(__x86_64__)
        constexpr unsigned FlushToZero = 0x8000, DenormalsAreZero = 0x0040;
        _mm_setcsr(_mm_getcsr() & ~(FlushToZero | DenormalsAreZero));
#endif
        uint64_t c = 0;
        for (;;) {
            // Should the system put the helper on the run's processor, spinning would take
            // the run's time: the helper then steps aside for a while.
            uint64_t p = produced_.load(std::memory_order_acquire);
            for (int spins = 0; p == c && spins < SpinLimit; ++spins) {
                if (spins % 64 == 63 && currentProcessor() >= 0 &&
                    currentProcessor() == runProcessor_.load(std::memory_order_relaxed))
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                else
                    spinPause();
                p = produced_.load(std::memory_order_acquire);
            }
            if (p == c) {
                const uint32_t w = wake_.load(std::memory_order_seq_cst);
                sleeping_.store(true, std::memory_order_seq_cst);
                if (produced_.load(std::memory_order_seq_cst) == c)
                    wake_.wait(w, std::memory_order_seq_cst);
                sleeping_.store(false, std::memory_order_seq_cst);
                continue;
            }
            double sum = sum_;
            for (; c < p; ++c)
                sum = (recip_[c % Capacity] * std::log(dist_[c % Capacity] / d0_)) + sum;
            sum_ = sum;
            consumed_.store(c, std::memory_order_release);
        }
    }

    double recip_[Capacity];
    double dist_[Capacity];
    // The run's side.
    alignas(64) std::atomic<uint64_t> produced_{0};
    std::atomic<int> runProcessor_{-1};
    uint64_t consumedSeen_ = 0;
    std::atomic<bool> busy_{false};
    // The helper's side. sum_ and d0_ are written by the run only while the helper is idle.
    alignas(64) std::atomic<uint64_t> consumed_{0};
    double sum_ = 0;
    double d0_ = 0;
    alignas(64) std::atomic<bool> sleeping_{false};
    std::atomic<uint32_t> wake_{0};
};

TermSum::TermSum(double d0) : d0_(d0), recip_(ownRecip_), dist_(ownDist_) {
    // A run started from within another run (from one of its window calls) sums its own.
    TermHelper* helper = TermHelper::Instance();
    if (!helper || !helper->Acquire()) return;
    helper_ = helper;
    helper_->Start(0, d0);
    published_ = helper_->Published();
    helper_->Make_Room(published_, 2 * BatchSize);
    helper_->Prepare(published_, 2 * BatchSize);
    recip_ = helper_->Recip(published_);
    dist_ = helper_->Dist(published_);
}

TermSum::~TermSum() {
    if (helper_) helper_->Release();
}

void TermSum::batchFull() {
    if (!helper_) {
        known_ = batchSum(known_);
        waiting_ = 0;
        count_ = 0;
        return;
    }
    count_ = 0;
    published_ += BatchSize;
    helper_->Publish(published_);
    helper_->Make_Room(published_, 2 * BatchSize);
    helper_->Prepare(published_ + BatchSize, BatchSize);
    recip_ = helper_->Recip(published_);
    dist_ = helper_->Dist(published_);
}

double TermSum::Total() {
    if (helper_) {
        known_ = helper_->Sum();
        waiting_ = count_;
    }
    return batchSum(known_);
}

void TermSum::Restart(double LESum) {
    // The batch being filled is dropped; the helper never saw it.
    if (helper_) helper_->Start(LESum, d0_);
    known_ = LESum;
    waiting_ = 0;
    count_ = 0;
}

double TermSum::batchSum(double sum) const {
    for (int i = 0; i < count_; ++i) sum = (recip_[i] * std::log(dist_[i] / d0_)) + sum;
    return sum;
}
