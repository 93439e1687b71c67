#include "layer2/corecode/mt/dsp/dsp_memory.h"

#include <algorithm>
#include <array>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

bool KnownSpace(const DspAddress& address) {
  return address.space == kDspSpaceParameters || address.space == kDspSpaceMemory;
}

// A memory key's four address bytes: bits 0-7; bits 8-15, or with a page
// (bits 15-17) bits 8-14 with bit 7 set; the page in bits 5-7; 0.
std::array<std::uint8_t, 4> MemoryAddressBytes(std::uint32_t key) {
  const std::uint8_t page = static_cast<std::uint8_t>((key >> 15) & 7);
  const std::uint8_t middle = page != 0 ? static_cast<std::uint8_t>(((key & 0x7FFF) >> 8) | 0x80)
                                        : static_cast<std::uint8_t>(key >> 8);
  return {static_cast<std::uint8_t>(key), middle, static_cast<std::uint8_t>(page << 5), 0};
}

}  // namespace

bool dsp_mem_read(const DspAddress& address) {
  DspTransportState& transport = MachineState<DspTransportState>();
  DspAnswer answer;
  std::uint8_t reply = 0;
  if (address.key != 0 && KnownSpace(address)) {
    const std::uint8_t low = static_cast<std::uint8_t>(address.key);
    const std::uint8_t high = static_cast<std::uint8_t>(address.key >> 8);
    if (address.space == kDspSpaceMemory) {
      reply = pump::kDpMemoryReadReply;
      dsp_send_packet(
          DspCommand::Query(pump::kCpMemoryRead, reply, MemoryAddressBytes(address.key)), &answer);
    } else {
      reply = pump::kDpParamReadReply;
      const std::uint8_t code = address.key < 0x10000 ? pump::kCpParamRead : pump::kCpParamReadHigh;
      dsp_send_packet(DspCommand::Query(code, reply, {low, high, 0, 0}), &answer);
    }
  }
  if (reply != 0 && answer.code == reply) return true;
  transport.reply = {};
  return false;
}

std::uint32_t dsp_mem_write(const DspAddress& address, std::span<const std::uint16_t> words) {
  if (address.key == 0 || !KnownSpace(address)) return kDspRefused;
  const bool memory = address.space == kDspSpaceMemory;
  const std::size_t count =
      std::min(words.size(), memory ? kDspMemoryWriteWords : kDspParameterWriteWords);
  std::vector<std::uint8_t> payload;
  if (memory) {
    const std::array<std::uint8_t, 4> bytes = MemoryAddressBytes(address.key);
    payload.assign(bytes.begin(), bytes.end());
  } else {
    payload = {static_cast<std::uint8_t>(address.key), static_cast<std::uint8_t>(address.key >> 8)};
  }
  for (std::size_t i = 0; i < count; ++i) {
    payload.push_back(static_cast<std::uint8_t>(words[i]));
    payload.push_back(static_cast<std::uint8_t>(words[i] >> 8));
  }
  const std::uint8_t code = memory                   ? pump::kCpMemoryWrite
                            : address.key >= 0x10000 ? pump::kCpParamWriteHigh
                                                     : pump::kCpParamWrite;
  return dsp_send_packet(DspCommand::NoWait(code, payload));
}

}  // namespace vxctl
