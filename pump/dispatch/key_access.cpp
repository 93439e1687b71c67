#include "pump/dispatch/key_access.h"

#include <algorithm>
#include <array>

#include "pump/callprogress/filter_bank.h"
#include "pump/commands/answers.h"
#include "pump/core/data_keys.h"
#include "pump/dispatch/codec_access.h"
#include "pump/pending/pending_procedures.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

// The key occupies payload bytes 0-1; a memory write carries its data from
// byte 4 (bytes 2-3 are ignored), a parameter write from byte 2.
constexpr std::size_t kKeyBytes = 2;
constexpr std::size_t kMemoryDataAt = 4;
constexpr std::size_t kParamDataAt = 2;

// Memory keys 0x8430-0x8B4C write the line profile (key 0x8430) in pieces,
// at word offset key - 0x8430.
constexpr std::uint32_t kLineProfileKey = 0x8430;
constexpr std::uint32_t kLineProfileLastKey = 0x8B4C;

constexpr std::uint32_t kVoiceGainKey = 0x10234;

struct KeyValue {
  std::uint32_t key;
  std::uint32_t value;
};
constexpr std::array<KeyValue, 4> kMemoryUpdateFlags = {
    {{0x1600, 0x04}, {0x1601, 0x01}, {0x1602, 0x02}, {0x1603, 0x08}}};
constexpr std::array<KeyValue, 3> kParamUpdateFlags = {{{0xC2, 0x10}, {0xC3, 0x40}, {0xC4, 0x20}}};

template <std::size_t N>
const KeyValue* Lookup(const std::array<KeyValue, N>& table, std::uint32_t key) {
  const auto* found = std::find_if(table.begin(), table.end(),
                                   [key](const KeyValue& row) { return row.key == key; });
  return found != table.end() ? found : nullptr;
}

// The bytes the packet carries from `offset` on; empty when it carries none.
std::span<const std::uint8_t> Carried(const DspContext& context, std::size_t offset) {
  const std::size_t length = context.packet.length;
  if (length <= offset) return {};
  return std::span(context.packet.payload).subspan(offset, length - offset);
}

bool CarriesKey(const DspContext& context) { return context.packet.length >= kKeyBytes; }

void Reply(DspContext& context, std::uint8_t code, std::span<const std::uint8_t> value) {
  SetReply(context, BuildKeyReply(code, value));
}

void NoAnswer(DspContext& context) { context.packet.code = 0; }

// A piece of the line profile: written only when the packet carries data
// and all of it lands inside the profile.
void WriteLineProfilePiece(DspContext& context, std::uint32_t key) {
  const auto data = Carried(context, kMemoryDataAt);
  const std::size_t word = key - kLineProfileKey;
  const std::size_t profile_bytes = MemKeySize(*context.host, kLineProfileKey);
  if (data.empty() || 2 * word + data.size() > profile_bytes) return;  // echoed
  WriteMemKeyPart(*context.host, kLineProfileKey, word, data);
  context.line_profile_bytes += static_cast<std::uint32_t>(data.size());
  NoAnswer(context);
}

}  // namespace

void ReadMemoryPacket(DspContext& context) {
  if (!CarriesKey(context)) return;
  const std::uint32_t key = PayloadWord(context, 0);
  const std::uint32_t size = MemKeySize(*context.host, key);
  // A key larger than an answer can carry is refused.
  if (size == 0 || size > kDspPacketPayload) return;
  if (key == kCodecRecordKey || key == kCodecRecordTailKey) {
    Reply(context, kDpMemoryReadReply, ReadCodecKey(context, key));
    return;
  }
  std::array<std::uint8_t, kDspPacketPayload> value{};
  ReadMemKey(*context.host, key, std::span(value).first(size));
  Reply(context, kDpMemoryReadReply, std::span(value).first(size));
}

void WriteMemoryPacket(DspContext& context) {
  if (context.packet.length < kMemoryDataAt) return;
  const std::uint32_t key = PayloadWord(context, 0);
  if (key >= kLineProfileKey && key <= kLineProfileLastKey) {
    WriteLineProfilePiece(context, key);
    return;
  }
  if (MemKeySize(*context.host, key) == 0) return;
  const auto data = Carried(context, kMemoryDataAt);
  if (key == kDaaSettingAKey || key == kDaaSettingBKey) {
    if (!ProgramDaa(context, key, data)) return;
  } else {
    WriteMemKey(*context.host, key, data);
  }
  if (const KeyValue* flag = Lookup(kMemoryUpdateFlags, key))
    context.call.update_flags |= flag->value;
  NoAnswer(context);
}

void ReadParamPacket(DspContext& context, std::uint32_t space) {
  if (!CarriesKey(context)) return;
  const std::uint32_t key = PayloadWord(context, 0) + space;
  const std::uint32_t size = ParamKeySize(*context.host, key);
  if (size == 0 || size > kDspPacketPayload) return;
  if (IsWindowKey(key)) {
    const auto window = ReadWindow(context, key);
    std::copy(window.begin(), window.end(), context.window_answer);
    Reply(context, kDpParamReadReply, std::span(window).first(size));
    return;
  }
  std::array<std::uint8_t, kDspPacketPayload> value{};
  ReadParamKey(*context.host, key, std::span(value).first(size));
  Reply(context, kDpParamReadReply, std::span(value).first(size));
}

void WriteParamPacket(DspContext& context, std::uint32_t space) {
  if (!CarriesKey(context)) return;
  const std::uint32_t key = PayloadWord(context, 0) + space;
  if (ParamKeySize(*context.host, key) == 0) return;
  if (const KeyValue* flag = Lookup(kParamUpdateFlags, key))
    context.call.update_flags |= flag->value;
  WriteParamKey(*context.host, key, Carried(context, kParamDataAt));
  if (const int filter = FilterOfKey(key); filter >= 0) ConfigureCallProgressFilter(context, filter);
  if (key == kVoiceGainKey) ApplyVoiceGain(context, context.voice.gain_word);
  NoAnswer(context);
}

}  // namespace pump
