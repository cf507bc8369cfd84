// RealFft's butterflies, each written once for a register type V of V::width float lanes and
// used by every kernel's loops: the scalar stages run them on OneLane, the vector kernels on
// their own registers, several independent butterflies at once. They work on loaded values; the
// loops around them decide which slots those are, so one definition serves every layout.
//
// The order of the operations inside each butterfly is the definition of the output bits: every
// result is a float, and lanes never combine. Everything has internal linkage, so each kernel's
// source compiles it for its own instruction set.
//
// V provides: Reg; width; load/store (unaligned); set1; add, sub, mul; reversed (lane order
// backwards); transpose (width x width registers in place: lane l of row q <-> lane q of row l).
#pragma once

#include <cstdint>

namespace spectral {
namespace realfft {
namespace {

/// One float as a register of one lane: the scalar stages.
struct OneLane {
    using Reg = float;
    static constexpr int32_t width = 1;
    static Reg load(const float* p) { return *p; }
    static void store(float* p, Reg v) { *p = v; }
    static Reg set1(float x) { return x; }
    static Reg add(Reg a, Reg b) { return a + b; }
    static Reg sub(Reg a, Reg b) { return a - b; }
    static Reg mul(Reg a, Reg b) { return a * b; }
    static Reg reversed(Reg v) { return v; }
    static void transpose(Reg*) {}
};

/// Four results of one butterfly, named by the slots they go to.
template <class V>
struct Four {
    typename V::Reg r0, r1, r2, r3;
};

// ---- Forward

/// The 4-point spectrum of g0..g3 (samples already in bit-reversed order): slots 0, 1, 2, 3.
template <class V>
inline Four<V> forwardGather4(typename V::Reg g0, typename V::Reg g1, typename V::Reg g2, typename V::Reg g3) {
    const auto sum01 = V::add(g0, g1);
    const auto sum23 = V::add(g2, g3);
    return {V::add(sum01, sum23), V::sub(g0, g1), V::sub(sum01, sum23), V::sub(g2, g3)};
}

/// The 8-point stage on one block s[0..7] into d[0..7]; r = sqrt(1/2).
template <class V>
inline void forward8(typename V::Reg* d, const typename V::Reg* s, typename V::Reg r) {
    d[0] = V::add(s[0], s[4]);
    d[4] = V::sub(s[0], s[4]);
    d[2] = s[2];
    d[6] = s[6];
    const auto t = V::mul(r, V::sub(s[5], s[7]));
    d[1] = V::add(s[1], t);
    d[3] = V::sub(s[1], t);
    const auto u = V::mul(r, V::add(s[5], s[7]));
    d[5] = V::add(u, s[3]);
    d[7] = V::sub(u, s[3]);
}

/// Stage p (L = 2^p, Q = L/2) at offset 0 < m < Q of a block: from the slots m, Q + m, L + m and
/// L + Q + m, with cs = cos(m*pi/L) and sn = sin(m*pi/L), the values for the slots
/// m (r0), L - m (r1), L + m (r2) and 2L - m (r3).
template <class V>
inline Four<V> forwardButterfly(typename V::Reg a, typename V::Reg c, typename V::Reg x, typename V::Reg y,
                                typename V::Reg cs, typename V::Reg sn) {
    const auto t = V::sub(V::mul(cs, x), V::mul(sn, y));
    const auto u = V::add(V::mul(sn, x), V::mul(cs, y));
    return {V::add(a, t), V::sub(a, t), V::add(u, c), V::sub(u, c)};
}

// ---- Inverse: each step undoes its forward namesake, times 2.

/// Stage p at offset 0 < m < Q: from the slots m, L - m, L + m and 2L - m, the values for the
/// slots m (r0), Q + m (r1), L + m (r2) and L + Q + m (r3).
template <class V>
inline Four<V> inverseButterfly(typename V::Reg lo, typename V::Reg loMirror, typename V::Reg hi,
                                typename V::Reg hiMirror, typename V::Reg cs, typename V::Reg sn) {
    const auto a = V::sub(lo, loMirror);
    const auto e = V::add(hi, hiMirror);
    return {V::add(lo, loMirror), V::sub(hi, hiMirror), V::add(V::mul(a, cs), V::mul(e, sn)),
            V::sub(V::mul(e, cs), V::mul(a, sn))};
}

template <class V>
inline void inverse8(typename V::Reg* d, const typename V::Reg* s, typename V::Reg r) {
    const auto two = V::set1(2.0f);
    d[0] = V::add(s[0], s[4]);
    d[4] = V::sub(s[0], s[4]);
    d[2] = V::mul(two, s[2]);
    d[6] = V::mul(two, s[6]);
    d[1] = V::add(s[1], s[3]);
    d[3] = V::sub(s[5], s[7]);
    const auto a = V::sub(s[1], s[3]);
    const auto e = V::add(s[5], s[7]);
    d[5] = V::mul(r, V::add(a, e));
    d[7] = V::mul(r, V::sub(e, a));
}

/// The 4-point inverse of slots w0..w3: the samples for bit-reversed positions 0, 1, 2, 3.
template <class V>
inline Four<V> inverseScatter4(typename V::Reg w0, typename V::Reg w1, typename V::Reg w2, typename V::Reg w3) {
    const auto two = V::set1(2.0f);
    const auto s = V::add(w0, w2);
    const auto d = V::sub(w0, w2);
    return {V::add(s, V::mul(two, w1)), V::sub(s, V::mul(two, w1)), V::add(d, V::mul(two, w3)),
            V::sub(d, V::mul(two, w3))};
}

// ---- Whole stages on `slots` registers of V::width floats each: stage p in blocks of 2L slots,
// L = 2^p and Q = L/2, with section p of the cosines. The scalar stages for OneLane, the lane
// layout's stages for the vector kernels (see real_fft_lanes.h). The slots 0, Q, L and L + Q of a
// block take no twiddle.

template <class V>
void forwardStageOnRegisters(float* __restrict dst, const float* __restrict src, int32_t slots, int32_t p,
                             const float* cosines) {
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    auto at = [](int32_t slot) { return slot * V::width; };
    for (int32_t b = 0; b < slots; b += 2 * L) {
        const float* s = src + at(b);
        float* d = dst + at(b);
        V::store(d, V::add(V::load(s), V::load(s + at(L))));
        V::store(d + at(L), V::sub(V::load(s), V::load(s + at(L))));
        V::store(d + at(Q), V::load(s + at(Q)));
        V::store(d + at(L + Q), V::load(s + at(L + Q)));
        for (int32_t m = 1; m < Q; ++m) {
            const Four<V> r = forwardButterfly<V>(V::load(s + at(m)), V::load(s + at(Q + m)), V::load(s + at(L + m)),
                                                  V::load(s + at(L + Q + m)), V::set1(table[m]), V::set1(table[Q - m]));
            V::store(d + at(m), r.r0);
            V::store(d + at(L - m), r.r1);
            V::store(d + at(L + m), r.r2);
            V::store(d + at(2 * L - m), r.r3);
        }
    }
}

template <class V>
void inverseStageOnRegisters(float* __restrict dst, const float* __restrict src, int32_t slots, int32_t p,
                             const float* cosines) {
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    const auto two = V::set1(2.0f);
    auto at = [](int32_t slot) { return slot * V::width; };
    for (int32_t b = 0; b < slots; b += 2 * L) {
        const float* s = src + at(b);
        float* d = dst + at(b);
        V::store(d, V::add(V::load(s), V::load(s + at(L))));
        V::store(d + at(L), V::sub(V::load(s), V::load(s + at(L))));
        V::store(d + at(Q), V::mul(two, V::load(s + at(Q))));
        V::store(d + at(L + Q), V::mul(two, V::load(s + at(L + Q))));
        for (int32_t m = 1; m < Q; ++m) {
            const Four<V> r = inverseButterfly<V>(V::load(s + at(m)), V::load(s + at(L - m)), V::load(s + at(L + m)),
                                                  V::load(s + at(2 * L - m)), V::set1(table[m]), V::set1(table[Q - m]));
            V::store(d + at(m), r.r0);
            V::store(d + at(Q + m), r.r1);
            V::store(d + at(L + m), r.r2);
            V::store(d + at(L + Q + m), r.r3);
        }
    }
}

// ---- Two stages in one pass on registers: stage p on both halves of each block of 4L slots, then
// stage p + 1 on the block, the values between them kept in registers. The stage-p butterflies at
// m of the two halves give exactly the slots that the stage-(p + 1) butterflies at m and at L - m
// read (forward), and the other way round for the inverse; the stage-(p + 1) butterfly at m = Q
// reads the slots that stage p copies. Every butterfly runs as in two passes.

template <class V>
void forwardStagePairOnRegisters(float* __restrict dst, const float* __restrict src, int32_t slots, int32_t p,
                                 const float* cosines) {
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    const float* nextTable = cosines + (L - 4);
    for (int32_t b = 0; b < slots; b += 4 * L) {
        const float* s = src + b * V::width;
        float* d = dst + b * V::width;
        auto in = [s](int32_t slot) { return V::load(s + slot * V::width); };
        auto out = [d](int32_t slot, typename V::Reg v) { V::store(d + slot * V::width, v); };
        const auto low0 = V::add(in(0), in(L));
        const auto high0 = V::add(in(2 * L), in(3 * L));
        out(0, V::add(low0, high0));
        out(2 * L, V::sub(low0, high0));
        out(L, V::sub(in(0), in(L)));
        out(3 * L, V::sub(in(2 * L), in(3 * L)));
        const Four<V> q = forwardButterfly<V>(in(Q), in(L + Q), in(2 * L + Q), in(3 * L + Q), V::set1(nextTable[Q]),
                                              V::set1(nextTable[L - Q]));
        out(Q, q.r0);
        out(2 * L - Q, q.r1);
        out(2 * L + Q, q.r2);
        out(4 * L - Q, q.r3);
        for (int32_t m = 1; m < Q; ++m) {
            const auto cs = V::set1(table[m]);
            const auto sn = V::set1(table[Q - m]);
            const Four<V> lo = forwardButterfly<V>(in(m), in(Q + m), in(L + m), in(L + Q + m), cs, sn);
            const Four<V> hi =
                forwardButterfly<V>(in(2 * L + m), in(2 * L + Q + m), in(3 * L + m), in(3 * L + Q + m), cs, sn);
            // Stage p + 1 (L' = 2L): cos(m*pi/L') is the sine of L - m and the other way round.
            const auto up = V::set1(nextTable[m]);
            const auto down = V::set1(nextTable[L - m]);
            const Four<V> rising = forwardButterfly<V>(lo.r0, lo.r2, hi.r0, hi.r2, up, down);
            const Four<V> falling = forwardButterfly<V>(lo.r1, lo.r3, hi.r1, hi.r3, down, up);
            out(m, rising.r0);
            out(2 * L - m, rising.r1);
            out(2 * L + m, rising.r2);
            out(4 * L - m, rising.r3);
            out(L - m, falling.r0);
            out(L + m, falling.r1);
            out(3 * L - m, falling.r2);
            out(3 * L + m, falling.r3);
        }
    }
}

// Stages p + 1 and then p.
template <class V>
void inverseStagePairOnRegisters(float* __restrict dst, const float* __restrict src, int32_t slots, int32_t p,
                                 const float* cosines) {
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    const float* nextTable = cosines + (L - 4);
    const auto two = V::set1(2.0f);
    for (int32_t b = 0; b < slots; b += 4 * L) {
        const float* s = src + b * V::width;
        float* d = dst + b * V::width;
        auto in = [s](int32_t slot) { return V::load(s + slot * V::width); };
        auto out = [d](int32_t slot, typename V::Reg v) { V::store(d + slot * V::width, v); };
        const auto low0 = V::add(in(0), in(2 * L));
        const auto high0 = V::sub(in(0), in(2 * L));
        const auto lowHalf = V::mul(two, in(L));
        const auto highHalf = V::mul(two, in(3 * L));
        out(0, V::add(low0, lowHalf));
        out(L, V::sub(low0, lowHalf));
        out(2 * L, V::add(high0, highHalf));
        out(3 * L, V::sub(high0, highHalf));
        const Four<V> q = inverseButterfly<V>(in(Q), in(2 * L - Q), in(2 * L + Q), in(4 * L - Q), V::set1(nextTable[Q]),
                                              V::set1(nextTable[L - Q]));
        out(Q, V::mul(two, q.r0));
        out(L + Q, V::mul(two, q.r1));
        out(2 * L + Q, V::mul(two, q.r2));
        out(3 * L + Q, V::mul(two, q.r3));
        for (int32_t m = 1; m < Q; ++m) {
            const auto up = V::set1(nextTable[m]);
            const auto down = V::set1(nextTable[L - m]);
            const Four<V> rising = inverseButterfly<V>(in(m), in(2 * L - m), in(2 * L + m), in(4 * L - m), up, down);
            const Four<V> falling = inverseButterfly<V>(in(L - m), in(L + m), in(3 * L - m), in(3 * L + m), down, up);
            const auto cs = V::set1(table[m]);
            const auto sn = V::set1(table[Q - m]);
            const Four<V> lo = inverseButterfly<V>(rising.r0, falling.r0, rising.r1, falling.r1, cs, sn);
            const Four<V> hi = inverseButterfly<V>(rising.r2, falling.r2, rising.r3, falling.r3, cs, sn);
            out(m, lo.r0);
            out(Q + m, lo.r1);
            out(L + m, lo.r2);
            out(L + Q + m, lo.r3);
            out(2 * L + m, hi.r0);
            out(2 * L + Q + m, hi.r1);
            out(3 * L + m, hi.r2);
            out(3 * L + Q + m, hi.r3);
        }
    }
}

}  // namespace
}  // namespace realfft
}  // namespace spectral
