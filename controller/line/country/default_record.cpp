// Record 0, the default country record, and the built-in record table.
// Record 0 is written from the line services' own needs and from public
// standards; each value says where it comes from.
#include <algorithm>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/country_delta.h"
#include "controller/line/country/country_dictionary.h"

namespace vxctl {
namespace {

class RecordWriter {
 public:
  constexpr void u8(std::size_t at, std::uint8_t v) { record.bytes[at] = v; }
  constexpr void u16(std::size_t at, std::uint16_t v) {
    record.bytes[at] = static_cast<std::uint8_t>(v);
    record.bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  CountryRecord record;
};

constexpr std::size_t Table(std::size_t t) { return kCountryTables[t].offset; }

// The call-progress filter of the data pump's default set-up: section 1
// {b2, b1, b0, a2, a1}, section 2 likewise, gain, decay (words 2-13 of a
// set), then the on and off thresholds (words 14 and 15). A band-pass over
// the call-progress tones (about 340-620 Hz at 9600 samples/s) with zeros
// near 100 Hz and at 2100 Hz, so an answer tone does not count as one.
constexpr std::array<std::uint16_t, kFilterWords> kCallProgressFilter = {
    0,      0,  // words 0 and 1: not sent to the data pump
    0x0666, 0xF339, 0x0666, 0xC329, 0x79AE,  // section 1
    0x3FFF, 0xE65E, 0x3FFF, 0xC55B, 0x7129,  // section 2
    0x00FF, 0x7F00,                          // gain, decay
    0x3000, 0x2000,                          // on and off thresholds
};

struct ToneSpec {
  std::uint8_t kind;
  std::uint8_t mode;
  std::uint16_t min_time;
  std::uint16_t set2_count;
  std::array<CadenceSegment, 2> cycle;  // repeated over the set-2 segments
};

// Tone kinds: 1 dial tone, 3 busy, 15 the second busy cadence (reorder),
// 5 ringback. Mode 1 continuous, 2 cadenced. Cadences after ITU-T E.180
// Supplement 2, with room for the timing of the data pump's detector.
constexpr std::array<ToneSpec, 5> kTones = {{
    // Dial tone: continuous; heard for a second before it counts.
    {1, 1, 1000, 0, {}},
    // Busy 0.5 s on, 0.5 s off: three cycles of 400-600 ms segments.
    {3, 2, 0, 6, {{{1, 400, 600}, {0, 400, 600}}}},
    // Reorder (congestion) 0.25 s on, 0.25 s off: three cycles of 200-300 ms.
    {15, 2, 0, 6, {{{1, 200, 300}, {0, 200, 300}}}},
    // Ringback 2 s on, 4 s off (±20 %).
    {5, 2, 0, 2, {{{1, 1600, 2400}, {0, 3200, 4800}}}},
    // Ringback 1 s on, 4 s off, E.180's recommended ringing tone, widened
    // to the 0.67-1.5 s on and 3-5 s off it allows.
    {5, 2, 0, 2, {{{1, 670, 1500}, {0, 3000, 5000}}}},
}};

struct SRegisterSpec {
  std::uint8_t reg, default_value, min, max;
};

// The S-registers whose value the country may bound: the factory default
// and range of the S command, no excluded band.
constexpr std::array<SRegisterSpec, 13> kSRegisters = {{
    {6, 2, 2, 255},     // blind-dial wait, s
    {7, 60, 1, 255},    // wait for carrier, s
    {8, 2, 0, 255},     // comma pause, s
    {9, 6, 1, 255},     // carrier detect response, 0.1 s
    {10, 14, 1, 255},   // carrier loss disconnect delay, 0.1 s
    {11, 70, 50, 255},  // DTMF tone duration, ms
    {12, 50, 0, 255},   // escape guard time, 20 ms
    {18, 0, 0, 255},    // test timer
    {25, 5, 0, 255},    // DTR detection delay
    {30, 0, 0, 255},    // inactivity timer
    {32, 32, 0, 32},    // stored only
    {33, 10, 0, 90},    // stored only
    {119, 0, 0, 6},     // connection start option
}};

constexpr CountryRecord BuildDefaultRecord() {
  RecordWriter w;
  w.u16(0, kCountryRecordVersion);

  // General flags: pulse and tone dialling allowed; calling tone on; no
  // off-hook time limit; blacklisting off; DAA sequence id 1; fields 7-9
  // carried as 0, 1, 1; caller-ID configuration 0 (the USA's delta sets it).
  constexpr std::array<std::uint8_t, 10> kFlags = {1, 1, 1, 0, 0, 0, 0, 1, 1, 0};
  for (std::size_t i = 0; i < kFlags.size(); ++i) w.u8(Table(1) + i, kFlags[i]);

  // General parameters: 8 s for dial tone; the "@" modifier's 5 s of quiet;
  // ring cadence reset after 8 s without a matched segment, longer than a
  // ring and the longest silence of the ring pattern below.
  w.u16(Table(2) + 0, 8000);
  w.u16(Table(2) + 2, 5000);
  w.u16(Table(2) + 4, 8000);

  // Voice DTMF levels 10 and 10 (sent to the data pump as tenths of a dB:
  // both tones at -10 dB).
  w.u8(Table(3) + 0, 10);
  w.u8(Table(3) + 1, 10);

  // FILTER: two sets, both the data pump's call-progress filter.
  w.u16(Table(4), 2);
  for (std::size_t set = 0; set < 2; ++set) {
    for (std::size_t i = 0; i < kFilterWords; ++i) {
      w.u16(Table(4) + 2 + (set * kFilterWords + i) * 2, kCallProgressFilter[i]);
    }
  }

  // TONE: five records on filter set 1 with the filter's thresholds.
  w.u16(Table(5), kTones.size());
  for (std::size_t r = 0; r < kTones.size(); ++r) {
    const std::size_t at = Table(5) + 2 + r * kToneRecordSize;
    const ToneSpec& tone = kTones[r];
    w.u8(at + 0, tone.kind);
    w.u8(at + 1, tone.mode);
    w.u8(at + 2, 1);
    w.u16(at + 4, kCallProgressFilter[14]);
    w.u16(at + 6, kCallProgressFilter[15]);
    w.u16(at + 8, tone.min_time);
    w.u16(at + 14, tone.set2_count);
    for (std::size_t s = 0; s < tone.set2_count; ++s) {
      const CadenceSegment& seg = tone.cycle[s % 2];
      const std::size_t sat = at + 16 + (kSetSegments + s) * kCadenceSegmentSize;
      w.u8(sat, seg.on);
      w.u16(sat + 1, seg.min_ms);
      w.u16(sat + 3, seg.max_ms);
    }
  }

  // DAA: three sequences with ids 1, 3, 2, all alike. No hardware-kind-2
  // words; transmit levels 0, so the S-register offsets alone set the level.
  // Times (ms): seize 100, hook flash 500, pulse set-up 240, break 60, make
  // 40 (10 pulses/s at 60/40), inter-digit 750, pulse end 50. Patterns on
  // bank A bits 2 and 5: seize both set, off hook bit 2, on hook neither,
  // pulse dialling both.
  constexpr std::array<std::uint8_t, 3> kDaaIds = {1, 3, 2};
  constexpr std::array<std::uint16_t, kDaaTimes> kTimes = {100, 500, 240, 60, 40, 750, 50};
  constexpr std::array<RelayPattern, 4> kPatterns = {
      {{0x0024, 0x0024}, {0x0024, 0x0004}, {0x0024, 0x0000}, {0x0024, 0x0024}}};
  w.u16(Table(6), kDaaSequences);
  for (std::size_t s = 0; s < kDaaSequences; ++s) {
    const std::size_t at = Table(6) + 2 + s * kDaaSequenceSize;
    w.u8(at, kDaaIds[s]);
    for (std::size_t t = 0; t < kTimes.size(); ++t) w.u16(at + 11 + t * 2, kTimes[t]);
    for (std::size_t p = 0; p < kPatterns.size(); ++p) {
      w.u16(at + 25 + p * 4, kPatterns[p].mask);
      w.u16(at + 27 + p * 4, kPatterns[p].value);
    }
  }

  // Black-list parameters: all 0 (blacklisting is off).

  // S-register limits: the rows above, the other rows empty.
  w.u16(Table(8), kSRegisters.size());
  for (std::size_t r = 0; r < kSRegisterRows; ++r) {
    const std::size_t at = Table(8) + 2 + r * kSRegisterRowSize;
    if (r < kSRegisters.size()) {
      const SRegisterSpec& s = kSRegisters[r];
      w.u8(at + 0, s.reg);
      w.u8(at + 1, s.default_value);
      w.u8(at + 2, s.min);
      w.u8(at + 3, s.max);
      w.u8(at + 4, kSRowEmpty);
      w.u8(at + 5, kSRowEmpty);
    } else {
      for (std::size_t b = 0; b < kSRegisterRowSize; ++b) w.u8(at + b, kSRowEmpty);
    }
  }

  // RING: one pattern. Ringing current 13-72 Hz (the 16-68 Hz of common
  // ringers with margin). The first ring may be cut short by the moment
  // the line was seized (300 ms); later ones last 750-2300 ms; silences
  // 500-5500 ms. The ring segments complete a ring.
  constexpr std::array<RingSegment, 4> kRing = {{
      {1, 13, 72, 300, 2300}, {0, 0, 0, 500, 5500},  // set 1, the first cycle
      {1, 13, 72, 750, 2300}, {0, 0, 0, 500, 5500},  // set 2, the cycles after
  }};
  w.u16(Table(9), 1);
  const std::size_t pattern = Table(9) + 2;
  w.u16(pattern + 0, 2);
  w.u16(pattern + 2, 2);
  for (std::size_t i = 0; i < kRing.size(); ++i) {
    const std::size_t segment = i < 2 ? i : kSetSegments + i - 2;
    const std::size_t at = pattern + 4 + segment * kRingSegmentSize;
    w.u8(at, kRing[i].flags);
    w.u16(at + 1, kRing[i].freq_min);
    w.u16(at + 3, kRing[i].freq_max);
    w.u16(at + 5, kRing[i].duration_min);
    w.u16(at + 7, kRing[i].duration_max);
  }

  // Call waiting. Windows (Hz): the 440 Hz call-waiting tone, 400-480;
  // the CPE alerting signal's 2130 and 2750 Hz pair. Times (ms): the
  // 300 ms tone, 240-360; the 80 ms alerting signal, 60-100; and 150 ms
  // after the tone for the alerting signal to begin.
  constexpr std::array<std::uint16_t, 4> kWindows = {400, 480, 2130, 2750};
  constexpr std::array<std::uint16_t, 5> kWaitTimes = {240, 360, 60, 100, 150};
  for (std::size_t i = 0; i < kWindows.size(); ++i) w.u16(Table(10) + i * 2, kWindows[i]);
  for (std::size_t i = 0; i < kWaitTimes.size(); ++i) w.u16(Table(11) + i * 2, kWaitTimes[i]);

  // Hook-flash parameters: method 0, no digits, no pause.

  // Trailer, carried unread.
  constexpr std::array<std::uint8_t, 4> kTrailer = {0x04, 0x64, 0x04, 0x00};
  for (std::size_t i = 0; i < kTrailer.size(); ++i) w.u8(kCountryTrailer.offset + i, kTrailer[i]);
  return w.record;
}

constexpr CountryRecord kDefaultRecord = BuildDefaultRecord();

// The deltas of records 16-101, all on record 0. A country's regulatory
// values come from its "WWH" record or an upload, never from here; the
// only change is the USA's caller-ID configuration: FSK caller ID started
// at the first ring, after which it is sent.
alignas(4) constexpr std::array<std::uint8_t, 4> kEmptyDelta = {kCountryDeltaMark, 0, 0, 0};
alignas(4) constexpr std::array<std::uint8_t, 12> kUsaDelta = {
    kCountryDeltaMark, 0, 5, 0,                                 // base 0, 5 bytes of items
    0x00, 0x00, 0x0A, 0x01, 0x01,                               // general flag 10 := 0x01
    0, 0, 0};                                                   // to the next 4-byte boundary
static_assert(CountryParamId(1, 10, 0, 0) == 0x010A0000);

constexpr BuiltInRecordTable BuildRecordTable() {
  BuiltInRecordTable table{kBuiltInRecords, {}};
  for (std::size_t i = 0; i < kBuiltInFullRecords; ++i) table.records[i].full = &kDefaultRecord;
  for (std::size_t i = kBuiltInFullRecords; i < kBuiltInRecords; ++i) {
    table.records[i].delta = kEmptyDelta;
  }
  table.records[kBuiltInFullRecords].delta = kUsaDelta;
  return table;
}

constexpr BuiltInRecordTable kRecordTable = BuildRecordTable();
// Every delta names a full record as its base.
static_assert(std::all_of(kRecordTable.records.begin(), kRecordTable.records.end(),
                          [](const BuiltInRecordRef& ref) {
                            return ref.full != nullptr ||
                                   (ref.delta.size() >= kCountryDeltaHeader &&
                                    ref.delta[1] < kBuiltInFullRecords);
                          }));

}  // namespace

const CountryRecord& DefaultCountryRecord() { return kDefaultRecord; }

const BuiltInRecordTable& BuiltInRecords() { return kRecordTable; }

CountryRecord BuiltInRecord(std::size_t index) {
  if (index >= kRecordTable.count) return kDefaultRecord;
  const BuiltInRecordRef& ref = kRecordTable.records[index];
  if (ref.full != nullptr) return *ref.full;
  const CountryDelta delta{ref.delta};
  CountryRecord record = *kRecordTable.records[delta.base()].full;
  ApplyCountryDelta(record, delta);
  return record;
}

}  // namespace vxctl
