#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

// Several doubles worked on at once, over GCC's vector extension, and the plain double: the
// model's arithmetic is written once over either. Every operation acts lane by lane, exactly
// as on a double, so a lane's results are the scalar results bit for bit (no fused
// multiply-add: every target builds with -ffp-contract=off).
//
// The functions are always inlined: a vector wider than the caller's instruction set would
// otherwise be passed in memory, and each build (generic, AVX2, AVX-512) gets its own code
// from the target of the function it is inlined into.

template <int W>
struct Lane_Vector {
    typedef double V __attribute__((vector_size(W * sizeof(double))));
    // A comparison's result: all ones in the lanes where it holds, zero elsewhere.
    typedef int64_t M __attribute__((vector_size(W * sizeof(double))));
};

// Two vectors taken as one of twice the lanes: every operation acts on both halves, written
// side by side, so that the processor overlaps their chains of dependent operations. (A
// vector extension type wider than the instruction set's registers would do the same, but
// GCC takes its comparisons apart lane by lane.)
template <class T>
struct Lane_Pair {
    T low, high;
};

template <class T>
inline constexpr bool Is_Lane_Pair = false;
template <class T>
inline constexpr bool Is_Lane_Pair<Lane_Pair<T>> = true;

template <int Half, class T>
[[gnu::always_inline]] inline auto Lane_Half(const T& v) {
    if constexpr (!Is_Lane_Pair<T>)
        return v;  // a scalar stands beside either half
    else if constexpr (Half == 0)
        return v.low;
    else
        return v.high;
}

#define LV_LANE_PAIR_OPERATOR(op)                                                                \
    template <class A, class B>                                                                  \
    requires(Is_Lane_Pair<A> || Is_Lane_Pair<B>) [[gnu::always_inline]] inline auto operator op( \
        const A& a, const B& b) {                                                                \
        return Lane_Pair<decltype(Lane_Half<0>(a) op Lane_Half<0>(b))>{                          \
            Lane_Half<0>(a) op Lane_Half<0>(b), Lane_Half<1>(a) op Lane_Half<1>(b)};             \
    }
LV_LANE_PAIR_OPERATOR(+)
LV_LANE_PAIR_OPERATOR(-)
LV_LANE_PAIR_OPERATOR(*)
LV_LANE_PAIR_OPERATOR(/)
LV_LANE_PAIR_OPERATOR(&)
LV_LANE_PAIR_OPERATOR(|)
LV_LANE_PAIR_OPERATOR(>>)
LV_LANE_PAIR_OPERATOR(<)
LV_LANE_PAIR_OPERATOR(<=)
LV_LANE_PAIR_OPERATOR(>)
LV_LANE_PAIR_OPERATOR(>=)
LV_LANE_PAIR_OPERATOR(==)
#undef LV_LANE_PAIR_OPERATOR

template <class T>
[[gnu::always_inline]] inline Lane_Pair<T> operator~(const Lane_Pair<T>& a) {
    return {~a.low, ~a.high};
}
template <class T, class B>
[[gnu::always_inline]] inline Lane_Pair<T>& operator|=(Lane_Pair<T>& a, const B& b) {
    return a = a | b;
}

// The bits of V as unsigned integers (uint64_t for a double), its comparisons' type, and its
// lanes.
template <class V>
struct Lane_Traits {
    typedef uint64_t Bits __attribute__((vector_size(sizeof(V))));
    typedef int64_t Mask __attribute__((vector_size(sizeof(V))));
    static constexpr int Width = sizeof(V) / sizeof(double);
};
template <>
struct Lane_Traits<double> {
    using Bits = uint64_t;
    using Mask = bool;
    static constexpr int Width = 1;
};
template <class T>
struct Lane_Traits<Lane_Pair<T>> {
    using Bits = Lane_Pair<typename Lane_Traits<T>::Bits>;
    using Mask = Lane_Pair<typename Lane_Traits<T>::Mask>;
    static constexpr int Width = 2 * Lane_Traits<T>::Width;
};

template <class V>
[[gnu::always_inline]] inline V Lane_Splat(double c) {
    if constexpr (std::is_same_v<V, double>) {
        return c;
    } else if constexpr (Is_Lane_Pair<V>) {
        return {Lane_Splat<decltype(V::low)>(c), Lane_Splat<decltype(V::high)>(c)};
    } else {
        V v;
        for (int l = 0; l < Lane_Traits<V>::Width; ++l) v[l] = c;
        return v;
    }
}

template <class V>
[[gnu::always_inline]] inline typename Lane_Traits<V>::Bits Lane_Bits(V v) {
    return __builtin_bit_cast(typename Lane_Traits<V>::Bits, v);
}

template <class V>
[[gnu::always_inline]] inline V Lane_From_Bits(typename Lane_Traits<V>::Bits b) {
    return __builtin_bit_cast(V, b);
}

// A comparison's result as V's mask. Compilers differ in the element type they give an
// integer vector comparison (GCC int64_t, clang long long), which a pair of vectors does not
// convert by itself.
template <class V, class C>
[[gnu::always_inline]] inline typename Lane_Traits<V>::Mask Lane_Mask(const C& c) {
    if constexpr (std::is_same_v<V, double>) {
        return c;
    } else if constexpr (Is_Lane_Pair<V>) {
        return {Lane_Mask<decltype(V::low)>(c.low), Lane_Mask<decltype(V::high)>(c.high)};
    } else {
        return __builtin_bit_cast(typename Lane_Traits<V>::Mask, c);
    }
}

// a where the mask holds, else b, lane by lane: bit operations, which every build keeps
// whole (GCC takes a vector ?: apart lane by lane in some).
template <class V>
[[gnu::always_inline]] inline V Lane_Select(typename Lane_Traits<V>::Mask m, V a, V b) {
    if constexpr (std::is_same_v<V, double>) {
        return m ? a : b;
    } else {
        using Bits = typename Lane_Traits<V>::Bits;
        const Bits on = __builtin_bit_cast(Bits, m);
        return Lane_From_Bits<V>((Lane_Bits(a) & on) | (Lane_Bits(b) & ~on));
    }
}

constexpr uint64_t Lane_Exponent_Bits = 0x7FF0000000000000ULL;

// The lanes of v that hold an infinity or a NaN, read from the exponent bits with integer
// operations that raise no floating-point flag.
template <class V>
[[gnu::always_inline]] inline typename Lane_Traits<V>::Mask Lane_Non_Finite(V v) {
    return (Lane_Bits(v) & Lane_Exponent_Bits) == Lane_Exponent_Bits;
}

// Whether any lane of a mask is set: one sign-bit gather where the instruction set has it,
// rather than a lane-by-lane reduction.
template <class M>
[[gnu::always_inline]] inline bool Lane_Any(const M& m) {
    if constexpr (std::is_same_v<M, bool>) {
        return m;
    } else if constexpr (Is_Lane_Pair<M>) {
        return Lane_Any(m.low | m.high);
    } else {
        constexpr int W = sizeof(M) / sizeof(int64_t);
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
        // Four and eight lanes are only used by the AVX2 and AVX-512 routines; "x" keeps the
        // operand in a register that the VEX encoding reaches. Wider masks are folded.
        int bits;
        if constexpr (W == 2) {
            asm("movmskpd %1, %0" : "=r"(bits) : "x"(m));
            return bits != 0;
        } else if constexpr (W == 4) {
            asm("vmovmskpd %1, %0" : "=r"(bits) : "x"(m));
            return bits != 0;
        } else if constexpr (W == 8) {
            typedef int64_t M4 __attribute__((vector_size(4 * sizeof(int64_t))));
            return Lane_Any<M4>(__builtin_shufflevector(m, m, 0, 1, 2, 3) |
                                __builtin_shufflevector(m, m, 4, 5, 6, 7));
        } else if constexpr (W == 16) {
            typedef int64_t M8 __attribute__((vector_size(8 * sizeof(int64_t))));
            return Lane_Any<M8>(__builtin_shufflevector(m, m, 0, 1, 2, 3, 4, 5, 6, 7) |
                                __builtin_shufflevector(m, m, 8, 9, 10, 11, 12, 13, 14, 15));
        }
#endif
        int64_t any = 0;
        for (int l = 0; l < W; ++l) any |= m[l];
        return any != 0;
    }
}

// The square root of every lane, correctly rounded as IEEE requires, so that each lane is the
// double's result. The vector instruction where the instruction set in use has one of this
// width: its widest vector is Native doubles (2 for SSE2, 4 for AVX, 8 for AVX-512; the
// caller knows its target, this function cannot); else lane by lane.
template <int Native, class V>
[[gnu::always_inline]] inline V Lane_Sqrt(V v) {
    if constexpr (std::is_same_v<V, double>) {
        return std::sqrt(v);
    } else if constexpr (Is_Lane_Pair<V>) {
        return {Lane_Sqrt<Native>(v.low), Lane_Sqrt<Native>(v.high)};
    } else {
        constexpr int W = Lane_Traits<V>::Width;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
        if constexpr (W > Native) {
            // not a width this instruction set has: lane by lane below
        } else if constexpr (W == 2 && Native == 2) {
            asm("sqrtpd %1, %0" : "=x"(v) : "x"(v));
            return v;
        } else if constexpr ((W == 2 || W == 4) && Native == 4) {
            asm("vsqrtpd %1, %0" : "=x"(v) : "x"(v));
            return v;
        } else if constexpr (Native == 8) {
            asm("vsqrtpd %1, %0" : "=v"(v) : "v"(v));
            return v;
        }
#endif
        V root;
        for (int l = 0; l < W; ++l) root[l] = std::sqrt(v[l]);
        return root;
    }
}

// column(j) for the columns j = from to to - 1, in order. With the species count known at
// compile time (J > 0) the loop unrolls completely; otherwise in pairs.
template <int J, class Column>
[[gnu::always_inline]] inline void In_Column_Order(int from, int to, Column&& column) {
    if constexpr (J > 0) {
#pragma GCC unroll 16
        for (int j = from; j < to; ++j) column(j);
    } else {
#pragma GCC unroll 2
        for (int j = from; j < to; ++j) column(j);
    }
}
