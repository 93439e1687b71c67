#include "layer2/corecode/mt/modem/call_progress_replay.h"

#include <algorithm>
#include <cstring>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/saved_data.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/line_services.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kKeysPerRecord = kReplayRecordBytes / 2;
constexpr std::size_t kCallerIdChunk = 8;
constexpr std::uint8_t kCallerIdLengthMax = 96;
constexpr std::size_t kSRingCount = 1;

bool IsRecord(const ReplayBuffer& buffer, std::size_t record) {
  return buffer[record * kReplayRecordBytes] == pump::kDpCallProgressNotification;
}

// The pieces read; each piece after the first is read only while the
// record before it starts with 0xD1.
std::size_t ReadRecords(ReplayBuffer& buffer) {
  std::size_t pieces = 0;
  while (pieces < kReplayPiecesMax) {
    const std::uint32_t key = kReplayKey + static_cast<std::uint32_t>(pieces) * kKeysPerRecord;
    std::span<std::uint8_t, kMemPieceBytes> piece(buffer.data() + pieces * kReplayRecordBytes,
                                                  kMemPieceBytes);
    if (!ModemTask_ReadMem16(key, piece)) break;
    ++pieces;
    if (!IsRecord(buffer, pieces - 1)) break;
  }
  return pieces;
}

void ReportCallerId() {
  if (!ModemTask_ReadCallerId()) return;
  reg_save_caller_id_data(reinterpret_cast<const char*>(acu_caller_id_buffer().bytes.data()));
  acu_report_caller_id(acu_caller_id_format());
}

}  // namespace

bool ModemTask_ReadMem16(std::uint32_t key, std::span<std::uint8_t, kMemPieceBytes> out) {
  if (!dsp_mem_read({key, kDspSpaceMemory})) return false;
  const DspReply& reply = MachineState<DspTransportState>().reply;
  std::copy_n(reply.begin(), kMemPieceBytes, out.begin());
  return true;
}

bool ReadMemBytes8(std::uint32_t key, std::span<std::uint8_t, 8> out) {
  if (!dsp_mem_read({key, kDspSpaceMemory})) return false;
  const DspReply& reply = MachineState<DspTransportState>().reply;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = reply[2 * i];
  return true;
}

bool ModemTask_ReadCallerId() {
  AcuCallerIdBuffer& buffer = acu_caller_id_buffer();
  buffer.count = 0;
  buffer.bytes[0] = 0;
  std::array<std::uint8_t, kCallerIdChunk> chunk{};
  std::uint32_t key = kCallerIdKey;
  if (!ReadMemBytes8(key, chunk)) return false;
  const bool has_length = chunk[0] == 0x80 || chunk[0] == 0x04;
  int left = has_length ? std::min(chunk[1], kCallerIdLengthMax) : 0;
  std::size_t count = 0;
  while (true) {
    const std::size_t take = std::min(chunk.size(), kCallerIdBufferMax - count);
    std::copy_n(chunk.begin(), take, buffer.bytes.begin() + count);
    count += take;
    if (left <= 0 || count == kCallerIdBufferMax) break;
    left -= static_cast<int>(kCallerIdChunk);
    key += kCallerIdChunk;
    if (!ReadMemBytes8(key, chunk)) {
      buffer.bytes[0] = 0;
      return false;
    }
  }
  buffer.count = static_cast<std::uint8_t>(count);
  buffer.bytes[count] = 0;
  return true;
}

void ModemTask_ReplayCallProgress() {
  ReplayBuffer buffer{};
  const std::size_t records = ReadRecords(buffer);
  DspTransportState& transport = MachineState<DspTransportState>();
  for (std::size_t r = 0; r < records && IsRecord(buffer, r); ++r) {
    transport.rx = {};
    std::memcpy(&transport.rx, buffer.data() + r * kReplayRecordBytes, kReplayRecordBytes);
    ModemTask_CallProgressEvent();
    LS_poll();
    if (RING_first_ring() && acu_caller_id_enabled() != 0) ReportCallerId();
    if (acu_settings().s[kSRingCount] == 1) break;
  }
}

}  // namespace vxctl
