// The vector kernels' loops: RealFft's stages for a register type V of V::width float lanes,
// around the butterflies of real_fft_butterflies.h. Included by one source file per instruction
// set, each with its own V, so everything here has internal linkage.
//
// Two layouts. Natural: the scalar stages' own. Lane layout, for the early stages whose blocks are
// short: the n floats cut into W = V::width super-blocks of n/W floats, and position `pos` of all
// of them stored as one register, lane l holding super-block reverseLaneBits(l):
//     lanes[pos * W + l] = natural[reverseLaneBits(l) * (n/W) + pos].
// A stage whose blocks fit in a super-block is then the scalar stage on n/W registers, every
// lane at the same place in its own block, so one broadcast twiddle serves all lanes.
//
// Names as in real_fft_butterflies.h: stage p works on blocks of 2L slots, L = 2^p, Q = L/2.
#pragma once

#include <cstdint>
#include <utility>

#include "spectral/kernel_passes.h"
#include "spectral/real_fft_butterflies.h"

namespace spectral {
namespace realfft {
namespace {

/// log2(W) low bits of l reversed: the super-block of lane l.
constexpr int32_t reverseLaneBits(int32_t l, int32_t W) {
    int32_t r = 0;
    for (int32_t bit = W / 2; bit > 0; bit /= 2, l >>= 1) r |= (l & 1) ? bit : 0;
    return r;
}

constexpr int32_t log2Of(int32_t width) { return width > 1 ? 1 + log2Of(width / 2) : 0; }

// ---- First forward pass: the 4-point gather, the 8-point stage and stage 3, written in the lane
// layout: lane l of every register belongs to the 16-point block c0 + reverseLaneBits(l) * n/(16W).
// With that choice the W blocks' bit-reversed samples lie side by side in `in`: one load gathers
// for all lanes (the next three samples of a block sit n/2, n/4 and 3n/4 further).

template <class V>
inline void gather4(typename V::Reg* a, const float* g, int32_t n) {
    const Four<V> r = forwardGather4<V>(V::load(g), V::load(g + n / 2), V::load(g + n / 4), V::load(g + 3 * (n / 4)));
    a[0] = r.r0;
    a[1] = r.r1;
    a[2] = r.r2;
    a[3] = r.r3;
}

// Stage 3 (L = 8, Q = 4) on one 16-point block per lane; `table` is section 3 of the cosines.
template <class V>
inline void forward16(typename V::Reg* d, const typename V::Reg* s, const float* table) {
    d[0] = V::add(s[0], s[8]);
    d[8] = V::sub(s[0], s[8]);
    d[4] = s[4];
    d[12] = s[12];
    for (int32_t m = 1; m < 4; ++m) {
        const Four<V> r =
            forwardButterfly<V>(s[m], s[4 + m], s[8 + m], s[12 + m], V::set1(table[m]), V::set1(table[4 - m]));
        d[m] = r.r0;
        d[8 - m] = r.r1;
        d[8 + m] = r.r2;
        d[16 - m] = r.r3;
    }
}

template <class V>
void forwardFirstPass(float* dst, const float* in, const StageTables& t) {
    constexpr int32_t W = V::width;
    const int32_t n = int32_t{1} << t.bits;
    const int32_t blockStride = n / (16 * W);
    const auto r = V::set1(t.sqrtHalf);
    for (int32_t c0 = 0; c0 < blockStride; ++c0) {
        typename V::Reg s[16];
        // The 16-point block from two 8-point blocks (octet), each from two 4-point ones (quartet).
        for (int32_t octet = 0; octet < 2; ++octet) {
            typename V::Reg a[8];
            for (int32_t quartet = 0; quartet < 2; ++quartet) {
                const int32_t block4 = 4 * c0 + 2 * octet + quartet;
                gather4<V>(a + 4 * quartet, in + t.indices[4 * block4], n);
            }
            forward8<V>(s + 8 * octet, a, r);
        }
        typename V::Reg d[16];
        forward16<V>(d, s, t.cosines);
        for (int32_t q = 0; q < 16; ++q) V::store(dst + (16 * c0 + q) * W, d[q]);
    }
}

// ---- Last inverse pass: stage 3, the 8-point stage and the 4-point scatter from the lane layout,
// the mirror image.

template <class V>
inline void inverse16(typename V::Reg* d, const typename V::Reg* s, const float* table) {
    const auto two = V::set1(2.0f);
    d[0] = V::add(s[0], s[8]);
    d[8] = V::sub(s[0], s[8]);
    d[4] = V::mul(two, s[4]);
    d[12] = V::mul(two, s[12]);
    for (int32_t m = 1; m < 4; ++m) {
        const Four<V> r =
            inverseButterfly<V>(s[m], s[8 - m], s[8 + m], s[16 - m], V::set1(table[m]), V::set1(table[4 - m]));
        d[m] = r.r0;
        d[4 + m] = r.r1;
        d[8 + m] = r.r2;
        d[12 + m] = r.r3;
    }
}

template <class V>
inline void scatter4(float* o, const typename V::Reg* w, int32_t n) {
    const Four<V> r = inverseScatter4<V>(w[0], w[1], w[2], w[3]);
    V::store(o, r.r0);
    V::store(o + n / 2, r.r1);
    V::store(o + n / 4, r.r2);
    V::store(o + 3 * (n / 4), r.r3);
}

template <class V>
void inverseLastPass(float* out, const float* src, const StageTables& t) {
    constexpr int32_t W = V::width;
    const int32_t n = int32_t{1} << t.bits;
    const int32_t blockStride = n / (16 * W);
    const auto r = V::set1(t.sqrtHalf);
    for (int32_t c0 = 0; c0 < blockStride; ++c0) {
        typename V::Reg s[16];
        for (int32_t q = 0; q < 16; ++q) s[q] = V::load(src + (16 * c0 + q) * W);
        typename V::Reg d[16];
        inverse16<V>(d, s, t.cosines);
        for (int32_t octet = 0; octet < 2; ++octet) {
            typename V::Reg x[8];
            inverse8<V>(x, d + 8 * octet, r);
            for (int32_t quartet = 0; quartet < 2; ++quartet) {
                const int32_t block4 = 4 * c0 + 2 * octet + quartet;
                scatter4<V>(out + t.indices[4 * block4], x + 4 * quartet, n);
            }
        }
    }
}

// Calls f(0), f(1), ... f(count - 1) with compile-time constants: the register arrays of the layout
// changes then stay in registers, and every lane's super-block is a constant.
template <class F, int32_t... l>
inline void forEachIndex(F&& f, std::integer_sequence<int32_t, l...>) {
    (f(std::integral_constant<int32_t, l>{}), ...);
}

template <int32_t count, class F>
inline void forEachIndex(F&& f) {
    forEachIndex(f, std::make_integer_sequence<int32_t, count>{});
}

// Lane layout to natural, W x W registers at a time.
template <class V>
void lanesToNatural(float* dst, const float* src, int32_t n) {
    constexpr int32_t W = V::width;
    const int32_t positions = n / W;
    for (int32_t pos = 0; pos < positions; pos += W) {
        typename V::Reg rows[W];
        forEachIndex<W>([&](auto i) { rows[i] = V::load(src + (pos + i) * W); });
        V::transpose(rows);
        forEachIndex<W>([&](auto l) { V::store(dst + reverseLaneBits(l, W) * positions + pos, rows[l]); });
    }
}

template <class V>
void naturalToLanes(float* dst, const float* src, int32_t n) {
    constexpr int32_t W = V::width;
    const int32_t positions = n / W;
    for (int32_t pos = 0; pos < positions; pos += W) {
        typename V::Reg rows[W];
        forEachIndex<W>([&](auto l) { rows[l] = V::load(src + reverseLaneBits(l, W) * positions + pos); });
        V::transpose(rows);
        forEachIndex<W>([&](auto i) { V::store(dst + (pos + i) * W, rows[i]); });
    }
}

// ---- General stages p >= 4 in the natural layout, lanes across consecutive m within a block.
// A first chunk starts at m = 1, the others at W, 2W, ... Q - W, so that the slots m of most
// chunks start on a register boundary; the first overlaps the second at m = W, a butterfly
// computed twice from the same source, which stores the same bits twice. The mirrored slots
// L - m and 2L - m are read or written W at a time with their lanes reversed.

// One chunk of forward butterflies at m .. m + W - 1: `lo` points at s[m], `out` at d[m],
// `mirror` at d[L - m - (W - 1)], `cs` at the cosines of m and `sn` at those of Q - m - (W - 1).
template <class V>
inline void forwardChunk(float* out, float* mirror, const float* lo, const float* cs, const float* sn, int32_t L,
                         int32_t Q) {
    const Four<V> r = forwardButterfly<V>(V::load(lo), V::load(lo + Q), V::load(lo + L), V::load(lo + L + Q),
                                          V::load(cs), V::reversed(V::load(sn)));
    V::store(out, r.r0);
    V::store(mirror, V::reversed(r.r1));
    V::store(out + L, r.r2);
    V::store(mirror + L, V::reversed(r.r3));
}

template <class V>
void forwardStage(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    constexpr int32_t W = V::width;
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    for (int32_t b = 0; b < n; b += 2 * L) {
        const float* s = src + b;
        float* d = dst + b;
        d[0] = s[0] + s[L];
        d[L] = s[0] - s[L];
        d[Q] = s[Q];
        d[L + Q] = s[L + Q];
        for (int32_t m = 1; m < Q; m = (m == 1) ? W : m + W) {
            forwardChunk<V>(d + m, d + L - m - (W - 1), s + m, table + m, table + Q - m - (W - 1), L, Q);
        }
    }
}

// One chunk of inverse butterflies at m .. m + W - 1: `lo` points at s[m], `mirror` at
// s[L - m - (W - 1)], `out` at d[m].
template <class V>
inline void inverseChunk(float* out, const float* lo, const float* mirror, const float* cs, const float* sn, int32_t L,
                         int32_t Q) {
    const Four<V> r = inverseButterfly<V>(V::load(lo), V::reversed(V::load(mirror)), V::load(lo + L),
                                          V::reversed(V::load(mirror + L)), V::load(cs), V::reversed(V::load(sn)));
    V::store(out, r.r0);
    V::store(out + Q, r.r1);
    V::store(out + L, r.r2);
    V::store(out + L + Q, r.r3);
}

template <class V>
void inverseStage(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    constexpr int32_t W = V::width;
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    for (int32_t b = 0; b < n; b += 2 * L) {
        const float* s = src + b;
        float* d = dst + b;
        d[0] = s[0] + s[L];
        d[L] = s[0] - s[L];
        d[Q] = 2 * s[Q];
        d[L + Q] = 2 * s[L + Q];
        for (int32_t m = 1; m < Q; m = (m == 1) ? W : m + W) {
            inverseChunk<V>(d + m, s + m, s + L - m - (W - 1), table + m, table + Q - m - (W - 1), L, Q);
        }
    }
}

// ---- Two natural stages in one pass: stage p on both halves of a block of 4L slots, then stage
// p + 1 on the block, the values between them kept in registers. The stage-p butterflies at m of
// the two halves give exactly the slots that the stage-(p + 1) butterflies at m and at L - m read
// (forward), and the other way round for the inverse, so every butterfly runs as in two passes.
// Chunks of m as in the single stages; the slots that take no twiddle, and the stage-(p + 1)
// butterfly at m = Q that reads them, are done one at a time.

template <class V>
inline void forwardPairChunk(float* d, const float* s, int32_t m, int32_t L, const float* table,
                             const float* nextTable) {
    constexpr int32_t W = V::width;
    const int32_t Q = L / 2;
    const float* a = s + m;
    const float* b = s + 2 * L + m;
    const auto cs = V::load(table + m);
    const auto sn = V::reversed(V::load(table + Q - m - (W - 1)));
    const Four<V> lo = forwardButterfly<V>(V::load(a), V::load(a + Q), V::load(a + L), V::load(a + L + Q), cs, sn);
    const Four<V> hi = forwardButterfly<V>(V::load(b), V::load(b + Q), V::load(b + L), V::load(b + L + Q), cs, sn);
    // Stage p + 1 (L' = 2L): lane i of `up` is cos((m + i)*pi/L'), of `down` cos((L - m - i)*pi/L'),
    // which is also the sine of m + i; the butterflies at L - m - i take them the other way round.
    const auto up = V::load(nextTable + m);
    const auto down = V::reversed(V::load(nextTable + L - m - (W - 1)));
    const Four<V> rising = forwardButterfly<V>(lo.r0, lo.r2, hi.r0, hi.r2, up, down);
    const Four<V> falling = forwardButterfly<V>(lo.r1, lo.r3, hi.r1, hi.r3, down, up);
    float* mirror = d + L - m - (W - 1);  // lanes reversed: slot L + X - m - i at mirror + X
    V::store(d + m, rising.r0);
    V::store(mirror + L, V::reversed(rising.r1));
    V::store(d + 2 * L + m, rising.r2);
    V::store(mirror + 3 * L, V::reversed(rising.r3));
    V::store(mirror, V::reversed(falling.r0));
    V::store(d + L + m, falling.r1);
    V::store(mirror + 2 * L, V::reversed(falling.r2));
    V::store(d + 3 * L + m, falling.r3);
}

template <class V>
void forwardStagePair(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    constexpr int32_t W = V::width;
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    const float* nextTable = cosines + (L - 4);
    for (int32_t b = 0; b < n; b += 4 * L) {
        const float* s = src + b;
        float* d = dst + b;
        const float low0 = s[0] + s[L];
        const float high0 = s[2 * L] + s[3 * L];
        d[0] = low0 + high0;
        d[2 * L] = low0 - high0;
        d[L] = s[0] - s[L];
        d[3 * L] = s[2 * L] - s[3 * L];
        const Four<OneLane> q =
            forwardButterfly<OneLane>(s[Q], s[L + Q], s[2 * L + Q], s[3 * L + Q], nextTable[Q], nextTable[L - Q]);
        d[Q] = q.r0;
        d[2 * L - Q] = q.r1;
        d[2 * L + Q] = q.r2;
        d[4 * L - Q] = q.r3;
        for (int32_t m = 1; m < Q; m = (m == 1) ? W : m + W) forwardPairChunk<V>(d, s, m, L, table, nextTable);
    }
}

template <class V>
inline void inversePairChunk(float* d, const float* s, int32_t m, int32_t L, const float* table,
                             const float* nextTable) {
    constexpr int32_t W = V::width;
    const int32_t Q = L / 2;
    const float* mirror = s + L - m - (W - 1);  // lanes reversed: slot L + X - m - i at mirror + X
    const auto up = V::load(nextTable + m);
    const auto down = V::reversed(V::load(nextTable + L - m - (W - 1)));
    // Stage p + 1 (L' = 2L) at m and at L - m: the slots m, L + m, 2L + m, 3L + m and
    // L - m, 2L - m, 3L - m, 4L - m of the values between the stages.
    const Four<V> rising = inverseButterfly<V>(V::load(s + m), V::reversed(V::load(mirror + L)), V::load(s + 2 * L + m),
                                               V::reversed(V::load(mirror + 3 * L)), up, down);
    const Four<V> falling = inverseButterfly<V>(V::reversed(V::load(mirror)), V::load(s + L + m),
                                                V::reversed(V::load(mirror + 2 * L)), V::load(s + 3 * L + m), down, up);
    const auto cs = V::load(table + m);
    const auto sn = V::reversed(V::load(table + Q - m - (W - 1)));
    const Four<V> lo = inverseButterfly<V>(rising.r0, falling.r0, rising.r1, falling.r1, cs, sn);
    const Four<V> hi = inverseButterfly<V>(rising.r2, falling.r2, rising.r3, falling.r3, cs, sn);
    V::store(d + m, lo.r0);
    V::store(d + Q + m, lo.r1);
    V::store(d + L + m, lo.r2);
    V::store(d + L + Q + m, lo.r3);
    V::store(d + 2 * L + m, hi.r0);
    V::store(d + 2 * L + Q + m, hi.r1);
    V::store(d + 3 * L + m, hi.r2);
    V::store(d + 3 * L + Q + m, hi.r3);
}

template <class V>
void inverseStagePair(float* __restrict dst, const float* __restrict src, int32_t n, int32_t p, const float* cosines) {
    constexpr int32_t W = V::width;
    const int32_t L = int32_t{1} << p;
    const int32_t Q = L / 2;
    const float* table = cosines + (Q - 4);
    const float* nextTable = cosines + (L - 4);
    for (int32_t b = 0; b < n; b += 4 * L) {
        const float* s = src + b;
        float* d = dst + b;
        const float low0 = s[0] + s[2 * L];
        const float high0 = s[0] - s[2 * L];
        const float lowHalf = 2 * s[L];
        const float highHalf = 2 * s[3 * L];
        d[0] = low0 + lowHalf;
        d[L] = low0 - lowHalf;
        d[2 * L] = high0 + highHalf;
        d[3 * L] = high0 - highHalf;
        const Four<OneLane> q =
            inverseButterfly<OneLane>(s[Q], s[2 * L - Q], s[2 * L + Q], s[4 * L - Q], nextTable[Q], nextTable[L - Q]);
        d[Q] = 2 * q.r0;
        d[L + Q] = 2 * q.r1;
        d[2 * L + Q] = 2 * q.r2;
        d[3 * L + Q] = 2 * q.r3;
        for (int32_t m = 1; m < Q; m = (m == 1) ? W : m + W) inversePairChunk<V>(d, s, m, L, table, nextTable);
    }
}

// ---- Whole transforms. Stages 4 .. lastStageInLanes(k) run in the lane layout (their blocks fit
// in a super-block), two at a time where two are left; the later ones run in the natural layout,
// also two at a time, each on the widest register type whose lanes a block's chunks fill
// (Q > V::width). One extra pass changes the layout, so the arrays alternate from an end chosen
// by the number of passes: the last stage writes `out` (forward) and the last pass reads `work`
// (inverse).

template <class V>
constexpr int32_t lastStageInLanes(int32_t bits) {
    return bits - log2Of(V::width) - 1;
}

// Stage p alone, or stages p and p + 1 when `pair`, on the widest of V, Narrower... that fits.
template <class V, class... Narrower>
void forwardNatural(float* dst, const float* src, int32_t n, int32_t p, const float* cosines, bool pair) {
    if constexpr (sizeof...(Narrower) > 0) {
        if ((int32_t{1} << (p - 1)) <= V::width) return forwardNatural<Narrower...>(dst, src, n, p, cosines, pair);
    }
    if (pair) {
        forwardStagePair<V>(dst, src, n, p, cosines);
    } else {
        forwardStage<V>(dst, src, n, p, cosines);
    }
}

// Stage p alone, or stages p + 1 and p when `pair`.
template <class V, class... Narrower>
void inverseNatural(float* dst, const float* src, int32_t n, int32_t p, const float* cosines, bool pair) {
    if constexpr (sizeof...(Narrower) > 0) {
        if ((int32_t{1} << (p - 1)) <= V::width) return inverseNatural<Narrower...>(dst, src, n, p, cosines, pair);
    }
    if (pair) {
        inverseStagePair<V>(dst, src, n, p, cosines);
    } else {
        inverseStage<V>(dst, src, n, p, cosines);
    }
}

/// Passes of a transform: the first (or last) pass, the stages in the lane layout two at a time,
/// the layout change and the natural stages two at a time.
template <class V>
constexpr int32_t passCount(int32_t bits) {
    const int32_t lastInLanes = lastStageInLanes<V>(bits);
    return 1 + (lastInLanes - 3 + 1) / 2 + 1 + (bits - 1 - lastInLanes + 1) / 2;
}

template <class Wide, class... Narrower>
void forwardLanes(const StageTables& t, float* out, const float* in) {
    const int32_t n = int32_t{1} << t.bits;
    const int32_t lastInLanes = lastStageInLanes<Wide>(t.bits);
    // The last pass writes `out`: so does the first when there is an odd number of them.
    float* src = (passCount<Wide>(t.bits) & 1) ? out : t.work;
    float* dst = (passCount<Wide>(t.bits) & 1) ? t.work : out;
    forwardFirstPass<Wide>(src, in, t);
    for (int32_t p = 4; p <= lastInLanes; p += 2) {
        if (p + 1 <= lastInLanes) {
            forwardStagePairOnRegisters<Wide>(dst, src, n / Wide::width, p, t.cosines);
        } else {
            forwardStageOnRegisters<Wide>(dst, src, n / Wide::width, p, t.cosines);
        }
        std::swap(src, dst);
    }
    lanesToNatural<Wide>(dst, src, n);
    std::swap(src, dst);
    for (int32_t p = lastInLanes + 1; p < t.bits; p += 2) {
        forwardNatural<Wide, Narrower...>(dst, src, n, p, t.cosines, p + 1 < t.bits);
        std::swap(src, dst);
    }
}

template <class Wide, class... Narrower>
void inverseLanes(const StageTables& t, float* out, const float* spec) {
    const int32_t n = int32_t{1} << t.bits;
    const int32_t lastInLanes = lastStageInLanes<Wide>(t.bits);
    // The passes before the last one leave their result in `work`, which the last reads: the
    // first writes `work` when they are an odd number.
    const bool oddBeforeLast = ((passCount<Wide>(t.bits) - 1) & 1) != 0;
    float* dst = oddBeforeLast ? t.work : out;
    float* other = oddBeforeLast ? out : t.work;
    const float* src = spec;
    // Pairs from the top; a single stage is left at the bottom when their number is odd.
    for (int32_t p = t.bits - 1; p > lastInLanes; p -= 2) {
        const bool pair = p - 1 > lastInLanes;
        inverseNatural<Wide, Narrower...>(dst, src, n, pair ? p - 1 : p, t.cosines, pair);
        src = dst;
        std::swap(dst, other);
    }
    naturalToLanes<Wide>(dst, src, n);
    src = dst;
    std::swap(dst, other);
    for (int32_t p = lastInLanes; p >= 4; p -= 2) {
        if (p - 1 >= 4) {
            inverseStagePairOnRegisters<Wide>(dst, src, n / Wide::width, p - 1, t.cosines);
        } else {
            inverseStageOnRegisters<Wide>(dst, src, n / Wide::width, p, t.cosines);
        }
        src = dst;
        std::swap(dst, other);
    }
    inverseLastPass<Wide>(out, src, t);
}

}  // namespace
}  // namespace realfft
}  // namespace spectral
