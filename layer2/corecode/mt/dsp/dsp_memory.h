// The data pump's named items, read and written through its memory and
// parameter packets: a parameter-store key (commands 10/11 to read, 13/14
// to write; the second of each for keys from 0x10000) or a memory key
// (command 9 to read, 12 to write; key bits 15-17 select the page).
#pragma once

#include <cstdint>
#include <span>

#include "layer2/corecode/mt/dsp/dsp_transport.h"

namespace vxctl {

inline constexpr std::uint8_t kDspSpaceParameters = 0;
inline constexpr std::uint8_t kDspSpaceMemory = 1;

#pragma pack(push, 1)
struct DspAddress {
  std::uint32_t key = 0;  // 0: none
  std::uint8_t space = kDspSpaceParameters;
};
#pragma pack(pop)
static_assert(sizeof(DspAddress) == 5);

// The words one write carries: 7 to the parameter store, 6 to memory.
inline constexpr std::size_t kDspParameterWriteWords = 7;
inline constexpr std::size_t kDspMemoryWriteWords = 6;

// Reads the item and waits for its reply. True when the reply (0x14 for
// memory, 0x15 for a parameter) came: its 16 bytes are in DspReply. An
// echo (the data pump's answer to a key it does not hold), no answer, a
// key of 0 (nothing sent) or a space other than 0 and 1 give false, and
// DspReply then reads as zeros.
bool dsp_mem_read(const DspAddress& address);
// Writes the first words (cut to the space's limit, low byte first)
// without waiting for an acknowledgement. A key of 0 or another space
// sends nothing (kDspRefused).
std::uint32_t dsp_mem_write(const DspAddress& address, std::span<const std::uint16_t> words);

}  // namespace vxctl
