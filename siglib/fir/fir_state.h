// The FIR filter state: a header of sixteen 32-bit words, then four arrays
// (prepared taps, delay buffer, 16-bit taps, work area), each at a multiple
// of 16 bytes from the start of the state. The header holds the arrays as
// byte offsets from the state's first byte, not as addresses, so the header
// stays 64 bytes on a 64-bit host and a state can be copied elsewhere whole.
//
// A state may lie at any address the caller chose: the header is read and
// written through memcpy (ReadHeader, WriteIndex), the arrays through the
// element-access helpers or the kernels' unaligned loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "siglib/frame/types.h"

struct fir_state {
  std::uint32_t marker;              // FI09 real, FI10 complex (FI11, FI12 multi-rate)
  std::int32_t taps;                 // offset of the prepared 32-bit taps, reversed and shifted
  std::int32_t delay;                // offset of the delay buffer
  std::int32_t len;                  // number of taps, at least 1
  std::int32_t multirate_5;          // used by multi-rate states only
  std::int32_t prefill;              // samples the generic block appends behind the history
  std::int32_t multirate_7;          // used by multi-rate states only
  std::int32_t multirate_8;          // used by multi-rate states only
  std::int32_t taps_factor;          // the caller's taps factor plus the normalising shift
  std::int32_t taps16;               // offset of the 16-bit taps (generic complex: that of work)
  std::int32_t index;                // position of the oldest history sample in the delay buffer
  std::int32_t layout;               // the qvls::fir::Layout that built the arrays
  std::int32_t row_len;              // 16-bit words per tap row (128-bit integer real layout)
  std::int32_t multirate_delay_len;  // delay length of a multi-rate state
  std::int32_t work;                 // offset of the 16 KB work area of the in-place operations
  std::int32_t owned;                // 1 when a create operation allocated the state
};
static_assert(sizeof(fir_state) == 64);

namespace qvls::fir {

// The first word of every state, read as four characters from the most
// significant byte down.
inline constexpr std::uint32_t kMarkerReal = 0x46493039;              // FI09
inline constexpr std::uint32_t kMarkerComplex = 0x46493130;           // FI10
inline constexpr std::uint32_t kMarkerMultiRateReal = 0x46493131;     // FI11
inline constexpr std::uint32_t kMarkerMultiRateComplex = 0x46493132;  // FI12

// The arrays behind the header differ by the processor class that built the
// state; the layout is recorded in the header so that a state never meets
// the kernels of another one.
enum class Layout : std::int32_t {
  kGenericReal = 1,     // px, m6, a6: 16-bit copy of the taps for the 64-bit kernels
  kRowsReal = 2,        // w7: four shifted rows of 16-bit taps for the 128-bit kernel
  kGenericComplex = 3,  // px, m6: 32-bit taps only
  kPairedComplex = 4,   // a6, w7: {re, -im} and {im, re} 16-bit tap pairs
};

constexpr bool IsComplex(Layout layout) {
  return layout == Layout::kGenericComplex || layout == Layout::kPairedComplex;
}

inline constexpr std::int32_t kWorkSamples = 4096;  // samples (complex: pairs) per in-place chunk

inline fir_state ReadHeader(const fir_state* state) {
  fir_state header;
  std::memcpy(&header, state, sizeof header);
  return header;
}

inline void WriteHeader(fir_state* state, const fir_state& header) {
  std::memcpy(state, &header, sizeof header);
}

inline void WriteIndex(fir_state* state, std::int32_t index) {
  std::memcpy(reinterpret_cast<unsigned char*>(state) + offsetof(fir_state, index), &index,
              sizeof index);
}

// The array that lies `offset` bytes into a state.
template <class T>
T* ArrayAt(fir_state* state, std::int32_t offset) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(state) + offset);
}
template <class T>
const T* ArrayAt(const fir_state* state, std::int32_t offset) {
  return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(state) + offset);
}

}  // namespace qvls::fir
