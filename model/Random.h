#pragma once

#include <cstdint>
#include <optional>
#include <random>

// The uniform generator behind the random initialisers: reseeded from a timer reading before
// the first draw of each initialiser, then yielding single-precision values in [0, 1).
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual void Reseed(float timerSeconds) = 0;
    virtual float Next() = 0;  // 0 <= u < 1, never 1
};

// The default generator. With a fixed seed (tests, `lv-run --seed`) every reseed starts the
// same sequence, whatever the clock says.
class Mt19937Random : public RandomSource {
  public:
    explicit Mt19937Random(std::optional<uint32_t> fixedSeed = std::nullopt);
    void Reseed(float timerSeconds) override;
    float Next() override;

  private:
    std::optional<uint32_t> fixedSeed_;
    std::mt19937 engine_;
};

// Seconds since midnight, local time, in single precision.
float Timer_Seconds();
