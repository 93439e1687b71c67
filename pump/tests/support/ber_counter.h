// Bit errors on framer data: the bytes a test sent against the raw octets
// (framer format 1) the far end delivered. Raw octets start wherever the
// receiver began packing bits and carry the line's idle ones around the
// data, so the sent bits are first found in the received bit stream (any
// bit offset), then compared bit by bit; bits the stream ends before count
// as errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pump::testing {

struct BitErrorCount {
  std::size_t bits = 0;    // sent bits compared
  std::size_t errors = 0;  // of them wrong or missing
  double Rate() const { return bits == 0 ? 0.0 : static_cast<double>(errors) / static_cast<double>(bits); }
};

// Bits go oldest first, bit 0 of each byte first, as the framer packs them.
// The alignment is the one whose first `align_bits` bits differ least.
BitErrorCount CountRawBitErrors(std::span<const std::uint8_t> sent,
                                std::span<const std::uint8_t> received,
                                std::size_t align_bits = 256);

}  // namespace pump::testing
