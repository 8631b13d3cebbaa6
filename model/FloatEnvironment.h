#pragma once

#include <cfenv>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// Round to nearest, and subnormal results kept (species that die out decay through them):
// a run of the model sets this up, for one system or for many side by side, and gives the
// caller its own environment back, flags included.
//
// The model's double arithmetic all runs in the SSE unit, so on x86-64 only its control and
// status word is saved, set and read. The x87 environment is left alone: loading it is slow,
// and on the processors measured it also slowed the thousands of steps that followed.
#if defined(__x86_64__)
inline constexpr unsigned MxcsrFlags = 0x3F, MxcsrDenormalsAreZero = 0x40, MxcsrRounding = 0x6000,
                          MxcsrFlushToZero = 0x8000;

class FloatEnvironment {
  public:
    // The caller's exception masks are kept; rounding to nearest is the zero rounding field.
    FloatEnvironment() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ &
                   ~(MxcsrFlags | MxcsrDenormalsAreZero | MxcsrRounding | MxcsrFlushToZero));
    }
    ~FloatEnvironment() { _mm_setcsr(saved_); }
    FloatEnvironment(const FloatEnvironment&) = delete;
    FloatEnvironment& operator=(const FloatEnvironment&) = delete;

  private:
    unsigned saved_;
};
#else
class FloatEnvironment {
  public:
    FloatEnvironment() {
        std::fegetenv(&saved_);
        std::fesetround(FE_TONEAREST);
        std::feclearexcept(FE_ALL_EXCEPT);
    }
    ~FloatEnvironment() { std::fesetenv(&saved_); }
    FloatEnvironment(const FloatEnvironment&) = delete;
    FloatEnvironment& operator=(const FloatEnvironment&) = delete;

  private:
    std::fenv_t saved_;
};
#endif
