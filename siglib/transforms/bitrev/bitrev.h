// Bit reversal of N = 2^n eight-byte elements (a complex float or a complex
// 32-bit integer, moved without being read as a number): the two lists that
// describe the permutation and the permutations that apply it.
//
// Both lists rest on one split of the index: with B = N/4 quarter indices, i =
// h·N/2 + 2m + l (h, l in {0, 1}, 0 <= m < B) moves to l·N/2 + 2·rev(m) + h, so
// quarter index m stands for the four elements 2m, 2m + 1, N/2 + 2m and
// N/2 + 2m + 1, and a list over the B quarter indices describes all N.
#pragma once

#include <cstdint>

// Lists of order n: B + 1 words from qvlsAlloc_i32 (one word, 0, for orders 0
// and 1, which no permutation reads), or null when the pool refuses the
// block; qvlsFree_px releases them.
//
// Swap list: for each quarter index m below its reversal d, the pair 4m, 4d
// (by increasing m); a 0 that closes the pairs and stands for m = 0; each
// self-reversed m > 0 as 4m (by decreasing m); a final 0. Word w names the
// quadruple whose first element is w / 2.
using qvlsFFTSwapList_i32_fn = std::int32_t*(std::int32_t order);
qvlsFFTSwapList_i32_fn qvlsFFTSwapList_i32_px, qvlsFFTSwapList_i32_a6, qvlsFFTSwapList_i32_w7;

// Quarter list: word m is 2·rev(m) for 0 < m < B; words 0 and B are 0.
using qvlsFFTQuarterBitRevList_i32_fn = std::int32_t*(std::int32_t order);
qvlsFFTQuarterBitRevList_i32_fn qvlsFFTQuarterBitRevList_i32_a6, qvlsFFTQuarterBitRevList_i32_w7;

// In place: element i moves to rev(i); `list` is the swap list of the order of
// n (the element count). Fewer than 4 elements stay as they are. px moves
// 32-bit words; the fixed-point twins (the same code in m6, a6 and w7) move
// each element as one 64-bit word when data lies on an 8-byte boundary.
using qvlsBitReverse_cf32_ip_fn = void(void* data, std::int32_t n, const std::int32_t* list);
qvlsBitReverse_cf32_ip_fn qvlsBitReverse_cf32_ip_px;
qvlsBitReverse_cf32_ip_fn qvlsBitReverse_ci32_ip_m6, qvlsBitReverse_ci32_ip_a6,
    qvlsBitReverse_ci32_ip_w7;

// Out of place, n >= 8, src and dst apart: dst[rev(i)] = src[i], every
// element of dst written once.
using qvlsBitReverse_cf32_fn = void(const void* src, void* dst, std::int32_t n,
                                    const std::int32_t* list);
qvlsBitReverse_cf32_fn qvlsBitReverse_cf32_px;

// The float engine's permutations in m6, a6 and w7, with px's results. In
// place: m6 and a6 (one code) move 64-bit units on an 8-byte boundary; w7
// moves two neighbouring elements as one 128-bit unit on a 16-byte
// boundary and 64-bit units on an 8-byte one; otherwise 32-bit words. Out of
// place (one code in all three): 64-bit units when both lie on 8-byte
// boundaries, else 32-bit words.
qvlsBitReverse_cf32_ip_fn qvlsBitReverse_cf32_ip_m6, qvlsBitReverse_cf32_ip_a6,
    qvlsBitReverse_cf32_ip_w7;
qvlsBitReverse_cf32_fn qvlsBitReverse_cf32_m6, qvlsBitReverse_cf32_a6, qvlsBitReverse_cf32_w7;
