// The per-country parameter record: 1,534 bytes, little-endian, its tables
// back to back. It is a stored format (the registry keeps it whole, the
// table dialogue exchanges its tables), so every offset below is fixed and
// checked here at compile time. The record is kept as bytes; the views read
// its tables through fixed-size spans, so no index can reach outside it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace vxctl {

inline constexpr std::size_t kCountryRecordSize = 1534;
inline constexpr std::uint16_t kCountryRecordVersion = 4;

struct CountryRecord {
  std::array<std::uint8_t, kCountryRecordSize> bytes{};

  constexpr std::uint16_t version() const {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
  }
};

// The tables in record order, numbered as the parameter dictionary numbers
// them (the version and the trailer are not tables).
struct CountryTableSpan {
  std::size_t offset;
  std::size_t size;
};

inline constexpr CountryTableSpan kCountryVersion{0, 2};
inline constexpr std::size_t kCountryTableCount = 12;
inline constexpr std::array<CountryTableSpan, kCountryTableCount + 1> kCountryTables = {{
    {},            // tables count from 1
    {2, 10},       // 1 general flags
    {12, 6},       // 2 general parameters
    {18, 2},       // 3 voice DTMF levels
    {20, 66},      // 4 FILTER
    {86, 690},     // 5 TONE
    {776, 173},    // 6 DAA
    {949, 73},     // 7 black-list parameters
    {1022, 92},    // 8 S-register limits
    {1114, 392},   // 9 RING
    {1506, 8},     // 10 line-event timing
    {1514, 10},    // 11 call-waiting timing
    {1524, 6},     // 12 hook-flash parameters
}};
inline constexpr CountryTableSpan kCountryTrailer{1530, 4};

// The tables follow each other without gaps and fill the record.
static_assert([] {
  std::size_t next = kCountryVersion.offset + kCountryVersion.size;
  for (std::size_t t = 1; t <= kCountryTableCount; ++t) {
    if (kCountryTables[t].offset != next) return false;
    next += kCountryTables[t].size;
  }
  return next == kCountryTrailer.offset && next + kCountryTrailer.size == kCountryRecordSize;
}());

// Sizes inside the tables.
inline constexpr std::size_t kFilterWords = 16;
inline constexpr std::size_t kToneRecords = 8;
inline constexpr std::size_t kToneRecordSize = 86;
inline constexpr std::size_t kCadenceSegments = 14;  // 0-6 set 1, 7-13 set 2
inline constexpr std::size_t kCadenceSegmentSize = 5;
inline constexpr std::size_t kDaaSequences = 3;
inline constexpr std::size_t kDaaSequenceSize = 57;
inline constexpr std::size_t kDaaTimes = 7;
inline constexpr std::size_t kDaaPatterns = 8;
inline constexpr std::size_t kBlackListWords = 35;
inline constexpr std::size_t kSRegisterRows = 15;
inline constexpr std::size_t kSRegisterRowSize = 6;
inline constexpr std::size_t kRingPatterns = 3;
inline constexpr std::size_t kRingPatternSize = 130;
inline constexpr std::size_t kRingSegments = 14;  // 0-6 set 1, 7-13 set 2
inline constexpr std::size_t kRingSegmentSize = 9;
inline constexpr std::size_t kSetSegments = 7;

static_assert(kCountryTables[4].size == 2 + 2 * kFilterWords * 2);
static_assert(kToneRecordSize == 16 + kCadenceSegments * kCadenceSegmentSize);
static_assert(kCountryTables[5].size == 2 + kToneRecords * kToneRecordSize);
static_assert(kDaaSequenceSize == 1 + 2 * 2 + 3 * 2 + kDaaTimes * 2 + kDaaPatterns * 4);
static_assert(kCountryTables[6].size == 2 + kDaaSequences * kDaaSequenceSize);
static_assert(kCountryTables[7].size == kBlackListWords * 2 + 3);
static_assert(kCountryTables[8].size == 2 + kSRegisterRows * kSRegisterRowSize);
static_assert(kRingPatternSize == 4 + kRingSegments * kRingSegmentSize);
static_assert(kCountryTables[9].size == 2 + kRingPatterns * kRingPatternSize);

namespace country_view {

// A table or part of one: reads little-endian values at offsets within it.
// An offset or index past the part is a programming error and stops.
template <std::size_t N>
class Bytes {
 public:
  constexpr explicit Bytes(std::span<const std::uint8_t, N> bytes) : bytes_(bytes) {}

  constexpr std::uint8_t u8(std::size_t at) const { return bytes_[Within(at, 1)]; }
  constexpr std::uint16_t u16(std::size_t at) const {
    const std::size_t i = Within(at, 2);
    return static_cast<std::uint16_t>(bytes_[i] | bytes_[i + 1] << 8);
  }
  template <std::size_t M>
  constexpr std::span<const std::uint8_t, M> part(std::size_t at) const {
    return std::span<const std::uint8_t, M>(bytes_.data() + Within(at, M), M);
  }
  constexpr std::span<const std::uint8_t, N> bytes() const { return bytes_; }

 private:
  static constexpr std::size_t Within(std::size_t at, std::size_t width) {
    if (at > N || width > N - at) std::abort();
    return at;
  }
  std::span<const std::uint8_t, N> bytes_;
};

// n itself when it names one of `rows` rows; anything else stops.
constexpr std::size_t Index(std::size_t n, std::size_t rows) {
  if (n >= rows) std::abort();
  return n;
}

// The number of valid rows a table's count names, bounded by its rows.
constexpr std::size_t Valid(std::uint16_t count, std::size_t rows) {
  return std::min<std::size_t>(count, rows);
}

// A table of a u16 count and `Rows` rows of `RowSize` bytes, each read
// through `Row`.
template <class Row, std::size_t Rows, std::size_t RowSize>
class CountedTable : Bytes<2 + Rows * RowSize> {
 public:
  using Bytes<2 + Rows * RowSize>::Bytes;
  std::uint16_t count() const { return this->u16(0); }
  std::size_t valid_count() const { return Valid(count(), Rows); }
  Row row(std::size_t r) const { return Row(this->template part<RowSize>(2 + Index(r, Rows) * RowSize)); }
};

}  // namespace country_view

// Table 1: ten flag bytes, fields 1-10.
class GeneralFlagsView : country_view::Bytes<10> {
 public:
  using Bytes::Bytes;
  std::uint8_t field(std::size_t n) const { return u8(country_view::Index(n - 1, 10)); }
  std::uint8_t pulse_allowed() const { return field(1); }
  std::uint8_t tone_allowed() const { return field(2); }
  std::uint8_t calling_tone() const { return field(3); }
  std::uint8_t off_hook_limit() const { return field(4); }
  std::uint8_t blacklisting() const { return field(5); }
  std::uint8_t daa_selector() const { return field(6); }
  std::uint8_t caller_id_config() const { return field(10); }
};

// Table 2: dial-tone wait, "@" quiet time, ring time-out (ms).
class GeneralParamsView : country_view::Bytes<6> {
 public:
  using Bytes::Bytes;
  std::uint16_t dial_tone_wait() const { return u16(0); }
  std::uint16_t quiet_time() const { return u16(2); }
  std::uint16_t ring_timeout() const { return u16(4); }
};

// Table 3: the two DTMF levels of voice tone playback.
class VoiceDtmfLevelView : country_view::Bytes<2> {
 public:
  using Bytes::Bytes;
  std::uint8_t level(std::size_t n) const { return u8(country_view::Index(n, 2)); }
};

// Table 4: the count and two sets of 16 call-progress filter words.
class FilterView : country_view::Bytes<66> {
 public:
  using Bytes::Bytes;
  std::uint16_t count() const { return u16(0); }
  // set 1 or 2, word 0-15
  std::uint16_t word(std::size_t set, std::size_t w) const {
    return u16(2 + (country_view::Index(set - 1, 2) * kFilterWords + country_view::Index(w, kFilterWords)) * 2);
  }
};

struct CadenceSegment {
  std::uint8_t on;
  std::uint16_t min_ms;
  std::uint16_t max_ms;
};

// One 86-byte tone record of the TONE table.
class ToneRecordView : country_view::Bytes<kToneRecordSize> {
 public:
  using Bytes::Bytes;
  std::uint8_t kind() const { return u8(0); }
  std::uint8_t mode() const { return u8(1); }
  std::uint8_t filter_set() const { return u8(2); }
  std::uint16_t on_threshold() const { return u16(4); }
  std::uint16_t off_threshold() const { return u16(6); }
  std::uint16_t min_time() const { return u16(8); }
  std::uint16_t timeout() const { return u16(10); }
  std::uint16_t set1_count() const { return u16(12); }
  std::uint16_t set2_count() const { return u16(14); }
  CadenceSegment segment(std::size_t s) const {
    const std::size_t at = 16 + country_view::Index(s, kCadenceSegments) * kCadenceSegmentSize;
    return {u8(at), u16(at + 1), u16(at + 3)};
  }
};

using ToneTableView = country_view::CountedTable<ToneRecordView, kToneRecords, kToneRecordSize>;

struct RelayPattern {
  std::uint16_t mask;
  std::uint16_t value;
};

// One 57-byte relay and hook sequence of the DAA table.
class DaaSequenceView : country_view::Bytes<kDaaSequenceSize> {
 public:
  using Bytes::Bytes;
  std::uint8_t id() const { return u8(0); }
  std::uint16_t hardware_word(std::size_t n) const { return u16(1 + country_view::Index(n, 2) * 2); }
  std::uint16_t level(std::size_t n) const { return u16(5 + country_view::Index(n, 3) * 2); }
  // 0 seize, 1 hook flash, 2 pulse set-up, 3 break, 4 make, 5 inter-digit, 6 pulse end
  std::uint16_t time(std::size_t n) const { return u16(11 + country_view::Index(n, kDaaTimes) * 2); }
  // 0 seize, 1 off hook, 2 on hook, 3 pulse dialling, 4-7 carried
  RelayPattern pattern(std::size_t n) const {
    const std::size_t at = 25 + country_view::Index(n, kDaaPatterns) * 4;
    return {u16(at), u16(at + 2)};
  }
};

using DaaTableView = country_view::CountedTable<DaaSequenceView, kDaaSequences, kDaaSequenceSize>;

// Table 7: 35 u16 and 3 u8.
class BlackListView : country_view::Bytes<73> {
 public:
  using Bytes::Bytes;
  std::uint16_t word(std::size_t n) const { return u16(country_view::Index(n, kBlackListWords) * 2); }
  std::uint16_t attempt_limit() const { return word(0); }
  std::uint16_t intercall_count() const { return word(1); }
  std::uint16_t number_delay(std::size_t n) const { return word(2 + country_view::Index(n, 16)); }
  std::uint16_t intercall_delay(std::size_t n) const { return word(18 + country_view::Index(n, 16)); }
  std::uint16_t forget_time() const { return word(34); }
  std::uint8_t flags() const { return u8(70); }
  std::uint8_t failure_mask() const { return u8(71); }
};

// An S-register limit row; 255 as register marks an empty row, 255 as an
// excluded bound no excluded band.
struct SRegisterRow {
  std::uint8_t reg;
  std::uint8_t default_value;
  std::uint8_t min;
  std::uint8_t max;
  std::uint8_t excluded_low;
  std::uint8_t excluded_high;
};
inline constexpr std::uint8_t kSRowEmpty = 255;

class SRegisterTableView : country_view::Bytes<92> {
 public:
  using Bytes::Bytes;
  std::uint16_t count() const { return u16(0); }
  std::size_t valid_count() const { return country_view::Valid(count(), kSRegisterRows); }
  SRegisterRow row(std::size_t r) const {
    const std::size_t at = 2 + country_view::Index(r, kSRegisterRows) * kSRegisterRowSize;
    return {u8(at), u8(at + 1), u8(at + 2), u8(at + 3), u8(at + 4), u8(at + 5)};
  }
};

struct RingSegment {
  std::uint8_t flags;  // bit 0: completes a ring to report
  std::uint16_t freq_min;
  std::uint16_t freq_max;
  std::uint16_t duration_min;
  std::uint16_t duration_max;
};

// One 130-byte ring pattern of the RING table.
class RingPatternView : country_view::Bytes<kRingPatternSize> {
 public:
  using Bytes::Bytes;
  std::uint16_t set1_header() const { return u16(0); }  // bit 3: caller-ID pattern
  std::uint16_t set2_count() const { return u16(2); }
  RingSegment segment(std::size_t s) const {
    const std::size_t at = 4 + country_view::Index(s, kRingSegments) * kRingSegmentSize;
    return {u8(at), u16(at + 1), u16(at + 3), u16(at + 5), u16(at + 7)};
  }
};

using RingTableView = country_view::CountedTable<RingPatternView, kRingPatterns, kRingPatternSize>;

// Tables 10 and 11: the call-waiting tone windows (Hz: single tone low and
// high, dual tone low and high) and its durations (ms: single tone minimum
// and maximum, dual tone minimum and maximum, the gap after the single tone).
class CallWaitingView {
 public:
  CallWaitingView(std::span<const std::uint8_t, 8> windows, std::span<const std::uint8_t, 10> times)
      : windows_(windows), times_(times) {}
  std::uint16_t window(std::size_t n) const { return windows_.u16(country_view::Index(n, 4) * 2); }
  std::uint16_t time(std::size_t n) const { return times_.u16(country_view::Index(n, 5) * 2); }

 private:
  country_view::Bytes<8> windows_;
  country_view::Bytes<10> times_;
};

// Table 12: the hook-flash method, its two digits and the pause (ms).
class HookFlashView : country_view::Bytes<6> {
 public:
  using Bytes::Bytes;
  std::uint16_t method() const { return u16(0); }
  std::uint8_t digit(std::size_t n) const { return u8(2 + country_view::Index(n, 2)); }
  std::uint16_t pause() const { return u16(4); }
};

// The bytes of table t (1-12).
template <std::size_t T>
std::span<const std::uint8_t, kCountryTables[T].size> CountryTable(const CountryRecord& record) {
  static_assert(T >= 1 && T <= kCountryTableCount);
  return std::span<const std::uint8_t, kCountryTables[T].size>(
      record.bytes.data() + kCountryTables[T].offset, kCountryTables[T].size);
}

inline GeneralFlagsView GeneralFlags(const CountryRecord& r) { return GeneralFlagsView(CountryTable<1>(r)); }
inline GeneralParamsView GeneralParams(const CountryRecord& r) { return GeneralParamsView(CountryTable<2>(r)); }
inline VoiceDtmfLevelView VoiceDtmfLevels(const CountryRecord& r) { return VoiceDtmfLevelView(CountryTable<3>(r)); }
inline FilterView Filters(const CountryRecord& r) { return FilterView(CountryTable<4>(r)); }
inline ToneTableView Tones(const CountryRecord& r) { return ToneTableView(CountryTable<5>(r)); }
inline DaaTableView DaaSequences(const CountryRecord& r) { return DaaTableView(CountryTable<6>(r)); }
inline BlackListView BlackListParams(const CountryRecord& r) { return BlackListView(CountryTable<7>(r)); }
inline SRegisterTableView SRegisterLimits(const CountryRecord& r) { return SRegisterTableView(CountryTable<8>(r)); }
inline RingTableView RingPatterns(const CountryRecord& r) { return RingTableView(CountryTable<9>(r)); }
inline CallWaitingView CallWaiting(const CountryRecord& r) {
  return CallWaitingView(CountryTable<10>(r), CountryTable<11>(r));
}
inline HookFlashView HookFlash(const CountryRecord& r) { return HookFlashView(CountryTable<12>(r)); }

}  // namespace vxctl
