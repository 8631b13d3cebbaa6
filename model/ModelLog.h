#pragma once

#include <limits>

#include "LaneVector.h"

// The natural logarithm of the exponent's terms, ln(Dist / d0), for one run and for many
// runs side by side in vector lanes alike: the same operations in the same order for a
// double and for each lane, so that a run gives the same exponent bit for bit wherever it
// runs. Only additions, multiplications, one division and integer operations on the bits:
// no table, no fused multiply-add and no library call, so the results are also the same on
// every processor and with every C library (a library's log may pick a variant by
// processor). Within 0.83 units in the last place of the exact value (measured over millions
// of arguments against an extended-precision logarithm); not always the nearest double.
//
// x = 2^k * m with m in [sqrt(1/2), sqrt(2)), f = m - 1 and s = f / (2 + f), so that
// ln m = 2 atanh s = 2s + s * R(s^2), R(w) = 2w/3 + 2w^2/5 + ... + 2w^10/21: with
// |s| <= 0.1716 the first term left out weighs below 2^-60 of the sum. With hfsq = f^2 / 2,
// 2s = f - hfsq + s * hfsq, so ln x = k ln 2 + f - (hfsq - s * (hfsq + R)). ln 2 is split
// into a part of 42 significant bits, whose product with any k of a double is exact, and
// the rest.
//
// Positive arguments, subnormal ones included; 0 gives -infinity, +infinity itself, and a
// negative number or a NaN a NaN, without the flags of the C library's log (the model's
// arguments are always positive). Raises no flag but inexact for any argument, in any lane.

template <class V>
[[gnu::always_inline]] inline V Model_Log(V x) {
    using Bits = typename Lane_Traits<V>::Bits;
    constexpr double Ln2High = 0x1.62e42fefa3800p-1, Ln2Low = 0x1.ef35793c76730p-45;
    // The bits of sqrt(1/2): the reduced argument starts there.
    constexpr uint64_t SqrtHalf = 0x3fe6a09e667f3bcdULL;
    constexpr uint64_t Shift = 0x3ff0000000000000ULL - SqrtHalf;
    constexpr uint64_t Mantissa = 0x000fffffffffffffULL;
    // 2^52 as bits, and 2^52 + 1023: the exponent field e becomes e - 1023 as a double.
    constexpr uint64_t TwoTo52 = 0x4330000000000000ULL;
    constexpr double Bias = 4503599627371519.0;

    // The kind of argument is read from its bits: an ordered comparison would raise invalid
    // for a NaN in a vector lane. As unsigned integers, +0 and the positive subnormals lie
    // below 2^-1022, and the positive normal numbers from there to the largest finite one.
    const Bits b = Lane_Bits(x);
    constexpr uint64_t SmallestNormal = 0x0010000000000000ULL, Largest = 0x7fefffffffffffffULL;
    // Subnormal arguments are scaled into the normal range first. Lanes that are not scaled
    // multiply 1 instead, or a large argument would raise overflow in its unused product.
    const auto subnormal = Lane_Mask<V>(b < SmallestNormal);
    const V y =
        Lane_Select<V>(subnormal, Lane_Select<V>(subnormal, x, Lane_Splat<V>(1)) * 0x1p54, x);
    // With Shift added, the exponent field is k and the mantissa field that of m.
    const Bits u = Lane_Bits(y) + Shift;
    const Bits e = u >> 52;
    const V k = (Lane_From_Bits<V>(e | TwoTo52) - Bias) -
                Lane_Select<V>(subnormal, Lane_Splat<V>(54), Lane_Splat<V>(0));
    const V m = Lane_From_Bits<V>((u & Mantissa) + SqrtHalf);

    const V f = m - 1.0;  // exact
    const V s = f / (2.0 + f);
    const V w = s * s;
    // R(w) by Estrin's scheme: short chains, for the one run that waits on it.
    const V w2 = w * w, w4 = w2 * w2, w8 = w4 * w4;
    const V p01 = 2.0 / 3 + (2.0 / 5) * w, p23 = 2.0 / 7 + (2.0 / 9) * w;
    const V p45 = 2.0 / 11 + (2.0 / 13) * w, p67 = 2.0 / 15 + (2.0 / 17) * w;
    const V p89 = 2.0 / 19 + (2.0 / 21) * w;
    const V R = w * (((p01 + p23 * w2) + (p45 + p67 * w2) * w4) + p89 * w8);
    const V hfsq = (0.5 * f) * f;
    const V result = k * Ln2High - ((hfsq - (s * (hfsq + R) + k * Ln2Low)) - f);

    constexpr double Infinity = std::numeric_limits<double>::infinity();
    const V special =
        Lane_Select<V>(Lane_Mask<V>(x == 0.0), Lane_Splat<V>(-Infinity),
                       Lane_Select<V>(Lane_Mask<V>(x == Infinity), x,
                                      Lane_Splat<V>(std::numeric_limits<double>::quiet_NaN())));
    return Lane_Select<V>(Lane_Mask<V>(b - uint64_t{1} < Largest), result, special);
}
