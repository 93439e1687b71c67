#include "pump/dispatch/key_table.h"

#include <cstddef>
#include <span>

#include "pump/core/data_keys.h"

namespace pump {
namespace {

// Where a key's buffer lies.
enum class Home : std::uint8_t {
  kUnbuilt,         // placeholder storage of its own
  kPreviousCall,    // the previous-call block
  kPhase2Options,   // memory keys 0x1600-0x1603
  kTransmitLevel,   // memory key 0x1687
  kCodecArea,       // the codec register record and the DAA settings
  kTransmitRecord,  // the 12-byte record of the transmit area
  kWindowAnswer,    // the codec register windows
  kSharedWord,      // parameter keys 0xE4, 0xC0, 0xC1
  kAfeInfo,         // the AfeInfo copy
  kPublishedLevel,  // parameter key 0xE2
  kVoiceGain,       // parameter key 0x10234
  kFilterRecords,   // the call-progress filter records
};

// `count` keys from `first` in steps of `key_step`, each `size` bytes at
// `offset` + i * `offset_step` of its home.
struct KeyRange {
  std::uint32_t first;
  std::uint16_t count;
  std::uint16_t size;
  Home home = Home::kUnbuilt;
  std::uint16_t offset = 0;
  std::uint16_t offset_step = 0;
  std::uint8_t key_step = 8;
};

constexpr KeyRange kMemoryKeys[] = {
    {0x100, 1, 2},
    {0x101, 1, 2},
    {0x180E, 1, 4},
    {0x180F, 1, 2},
    {0x1500, 7, 16, Home::kPreviousCall, 0, 16},
    {0x1600, 4, 2, Home::kPhase2Options, 0, 2, 1},
    {0x1663, 1, 16},
    {0x166B, 1, 16},
    {0x1673, 1, 16},
    {0x1678, 1, 14},
    {0x167B, 1, 16},
    {0x1683, 1, 16},
    {0x1685, 1, 4},
    {0x168B, 1, 16},
    {0x1693, 16, 16},
    {0x1713, 1, 8},
    {0x1687, 1, 2, Home::kTransmitLevel},
    {0x165F, 1, 2},
    {0x1820, 1, 16, Home::kCodecArea, 0},
    {0x1828, 1, 2, Home::kCodecArea, 16},
    {0x182F, 1, 6, Home::kCodecArea, 30},
    {0x182A, 1, 6, Home::kCodecArea, 20},
    {0x8000, 12, 16},
    {0x8100, 96, 16},
    {0x8430, 1, 3640},  // the quick-connect line profile
};

constexpr KeyRange kParamKeys[] = {
    {0x20, 1, 2},
    {0x33, 1, 2},
    {0x3F, 1, 2},
    {0x102, 1, 12, Home::kTransmitRecord},
    {0x120, 1, 12, Home::kTransmitRecord},
    {0x74, 1, 2},
    {0x10026, 1, 2},
    {0x10043, 1, 2},
    {0x1900, 32, 16, Home::kWindowAnswer},
    {0x1070C, 10, 16},
    {0x104F0, 10, 16},
    {0xE4, 1, 2, Home::kSharedWord},
    {0xC0, 1, 2, Home::kSharedWord},
    {0xC1, 1, 2, Home::kSharedWord},
    {0xC2, 3, 2, Home::kUnbuilt, 0, 0, 1},
    {0xCC, 3, 2, Home::kUnbuilt, 0, 0, 1},
    {0x8F, 1, 4},
    {0x92, 5, 4, Home::kAfeInfo, offsetof(afe::AfeInfo, LineLowThreshold), 4, 2},
    {0xE2, 1, 2, Home::kPublishedLevel},
    {0x10234, 1, 2, Home::kVoiceGain},
    // The call-progress filter records, 15 words each from 0x101D8: per
    // record its first 7 words, the next 7, the last, and the two
    // thresholds; filter 1's result-bit word on its own.
    {0x101D8, 3, 14, Home::kFilterRecords, 0, 30, 15},
    {0x101DF, 3, 14, Home::kFilterRecords, 14, 30, 15},
    {0x101E6, 3, 2, Home::kFilterRecords, 28, 30, 15},
    {0x101E5, 3, 4, Home::kFilterRecords, 26, 30, 15},
    {0x101F3, 1, 2, Home::kFilterRecords, 54},
    {0x100, 1, 2},
    {0x10100, 1, 2},
    {0x107F8, 1, 2},
    {0x100EA, 1, 2},
    {0x107FA, 5, 2, Home::kUnbuilt, 0, 0, 1},
    {0x10800, 3, 4, Home::kUnbuilt, 0, 0, 2},
    {0x1070C, 1, 16},  // registered twice; the second is ignored
};

constexpr std::size_t HomeSize(Home home) {
  switch (home) {
    case Home::kUnbuilt:
      return 0;
    case Home::kPreviousCall:
      return sizeof(CallParameters);
    case Home::kPhase2Options:
      return sizeof(Phase2Options);
    case Home::kTransmitLevel:
      return sizeof(DspContext::transmit_level);
    case Home::kCodecArea:
      return kCodecAreaBytes;
    case Home::kTransmitRecord:
      return sizeof(TransmitArea::record);
    case Home::kWindowAnswer:
      return sizeof(DspContext::window_answer);
    case Home::kSharedWord:
      return sizeof(DspContext::shared_word);
    case Home::kAfeInfo:
      return sizeof(afe::AfeInfo);
    case Home::kPublishedLevel:
      return sizeof(CallParameters::published_level);
    case Home::kVoiceGain:
      return sizeof(VoiceArea::gain_word);
    case Home::kFilterRecords:
      return sizeof(DialArea::filter_records);
  }
  return 0;
}

template <std::size_t N>
constexpr bool Registered(const KeyRange (&table)[N], std::size_t row, std::uint32_t key) {
  for (std::size_t r = 0; r < row; ++r) {
    for (std::uint32_t i = 0; i < table[r].count; ++i) {
      if (table[r].first + i * table[r].key_step == key) return true;
    }
  }
  return false;
}

// The placeholder bytes a table takes: every unbuilt key but a repeated one.
template <std::size_t N>
constexpr std::size_t UnbuiltBytes(const KeyRange (&table)[N]) {
  std::size_t bytes = 0;
  for (std::size_t r = 0; r < N; ++r) {
    if (table[r].home != Home::kUnbuilt) continue;
    for (std::uint32_t i = 0; i < table[r].count; ++i) {
      if (!Registered(table, r, table[r].first + i * table[r].key_step)) bytes += table[r].size;
    }
  }
  return bytes;
}

template <std::size_t N>
constexpr bool FitTheirHomes(const KeyRange (&table)[N]) {
  for (const KeyRange& range : table) {
    if (range.home == Home::kUnbuilt) continue;
    const std::size_t last = range.offset + (range.count - 1) * range.offset_step + range.size;
    if (last > HomeSize(range.home)) return false;
  }
  return true;
}

static_assert(UnbuiltBytes(kMemoryKeys) + UnbuiltBytes(kParamKeys) == kUnbuiltKeyBytes,
              "the context's placeholder storage holds exactly the unbuilt keys");
static_assert(FitTheirHomes(kMemoryKeys) && FitTheirHomes(kParamKeys));

template <class T>
std::span<std::uint8_t> Bytes(T& object) {
  return {reinterpret_cast<std::uint8_t*>(&object), sizeof object};
}

std::span<std::uint8_t> HomeBytes(DspContext& context, Home home) {
  switch (home) {
    case Home::kUnbuilt:
      return {};
    case Home::kPreviousCall:
      return Bytes(context.previous_call);
    case Home::kPhase2Options:
      return Bytes(context.phase2.options);
    case Home::kTransmitLevel:
      return Bytes(context.transmit_level);
    case Home::kCodecArea:
      return context.codec_area;
    case Home::kTransmitRecord:
      return context.transmit.record;
    case Home::kWindowAnswer:
      return context.window_answer;
    case Home::kSharedWord:
      return context.shared_word;
    case Home::kAfeInfo:
      return Bytes(context.afe_info);
    case Home::kPublishedLevel:
      return Bytes(context.call.published_level);
    case Home::kVoiceGain:
      return Bytes(context.voice.gain_word);
    case Home::kFilterRecords:
      return context.dial.filter_records;
  }
  return {};
}

using AddKey = KeyInsert (*)(HostInterface&, std::uint32_t, std::span<std::uint8_t>);

template <std::size_t N>
void Register(DspContext& context, const KeyRange (&table)[N], AddKey add,
              std::span<std::uint8_t>& unbuilt) {
  for (const KeyRange& range : table) {
    for (std::uint32_t i = 0; i < range.count; ++i) {
      const std::uint32_t key = range.first + i * range.key_step;
      const bool placeholder = range.home == Home::kUnbuilt;
      const auto buffer = placeholder
                              ? unbuilt.first(range.size)
                              : HomeBytes(context, range.home)
                                    .subspan(range.offset + i * range.offset_step, range.size);
      if (add(*context.host, key, buffer) == KeyInsert::kAdded && placeholder) {
        unbuilt = unbuilt.subspan(range.size);
      }
    }
  }
}

}  // namespace

void RegisterDataKeys(DspContext& context) {
  std::span<std::uint8_t> unbuilt(context.unbuilt_keys);
  Register(context, kParamKeys, AddParamKey, unbuilt);
  Register(context, kMemoryKeys, AddMemKey, unbuilt);
}

}  // namespace pump
