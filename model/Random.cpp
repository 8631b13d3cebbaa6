#include "Random.h"

#include <bit>
#include <chrono>
#include <ctime>

Mt19937Random::Mt19937Random(std::optional<uint32_t> fixedSeed) : fixedSeed_(fixedSeed) {
    if (fixedSeed_) engine_.seed(*fixedSeed_);
}

void Mt19937Random::Reseed(float timerSeconds) {
    engine_.seed(fixedSeed_ ? *fixedSeed_ : std::bit_cast<uint32_t>(timerSeconds));
}

float Mt19937Random::Next() {
    // 24 random bits scaled by 2^-24: exactly representable, at most 1 - 2^-24. A float
    // distribution could round up to 1.0f.
    return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f);
}

float Timer_Seconds() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t tt = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&tt, &local);
    const double sub = duration<double>(now.time_since_epoch()).count() - double(tt);
    return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + sub);
}
