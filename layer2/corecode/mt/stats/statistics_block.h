// The connection statistics block, one per machine
// (MachineState<ModemStatisticsBlock>()): the call's set-up and modes, the
// line measurements read from the data pump, carriers and rates, the
// error-control results, the character and frame counters, the
// termination cause and the identification texts. Each entry has a report
// key and a class mask; the output mask follows the call phase and decides
// which entries the #UD report and the statistics device show.
//
// Entries are written from the task thread and from the data paths at
// dispatch level without a lock; each is one atomic store.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

struct EcStatistics;

// Output mask: bit 0 the V.8 octet texts are valid, bit 1 error control is
// active, bit 2 the connected modulation is 2 or 14; bits 4-7 the call
// phase.
inline constexpr std::uint32_t kStatsV8TextsValid = 1u << 0;
inline constexpr std::uint32_t kStatsErrorControl = 1u << 1;
inline constexpr std::uint32_t kStatsPhaseReset = 0x10;
inline constexpr std::uint32_t kStatsPhaseHandshake = 0x20;
inline constexpr std::uint32_t kStatsPhaseConnected = 0x40;
inline constexpr std::uint32_t kStatsPhaseDropped = 0x80;

// How an entry is reported.
enum class StatsKind : std::uint8_t {
  kByte,        // low byte, two hex digits
  kWord16,      // low 16 bits, four hex digits
  kWord32,      // eight hex digits
  kDigit,       // the stored byte ORed with 0x30, sent as that character
  kText,        // the text as stored
  kQuotedText,  // the text between double quotes
  kHidden,      // not reported
};

// What an entry holds after stats_reset.
enum class StatsReset : std::uint8_t {
  kValue,   // the row's reset value
  kKept,    // unchanged
  kFlowTx,  // the transmit flow setting of the command interpreter
  kFlowRx,  // the receive flow setting
  kIdent,   // set by stats_init_ident
};

struct StatsRow {
  std::uint8_t key;
  StatsKind kind;
  std::uint8_t class_mask;
  bool needs_error_control;  // reported only with output-mask bit 1
  bool always;               // reported whatever the mask
  StatsReset reset;
  std::uint32_t reset_value;
};

// The block's entries in block order (the report's order).
inline constexpr StatsRow kStatsRows[] = {
    {0x00, StatsKind::kByte, 0xFF, false, true, StatsReset::kValue, 0x10},
    {0x01, StatsKind::kByte, 0xFF, false, false, StatsReset::kValue, 0},
    {0x02, StatsKind::kByte, 0xFF, false, false, StatsReset::kKept, 0},
    {0x03, StatsKind::kByte, 0xFF, false, false, StatsReset::kValue, 0},
    {0x04, StatsKind::kQuotedText, 0xE1, false, false, StatsReset::kKept, 0},
    {0x05, StatsKind::kQuotedText, 0xE1, false, false, StatsReset::kKept, 0},
    {0x10, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x11, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x12, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x13, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x14, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x15, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x16, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x17, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x18, StatsKind::kWord32, 0xE0, false, false, StatsReset::kValue, 0},
    {0x20, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 255},
    {0x21, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 255},
    {0x22, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x23, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x24, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x25, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x26, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x27, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x30, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x31, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x32, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x33, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x34, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x35, StatsKind::kWord16, 0xE0, false, false, StatsReset::kValue, 0},
    {0x40, StatsKind::kByte, 0xE0, false, false, StatsReset::kValue, 0},
    {0x41, StatsKind::kWord16, 0xE2, true, false, StatsReset::kValue, 0},
    {0x42, StatsKind::kByte, 0xE2, true, false, StatsReset::kValue, 0},
    {0x43, StatsKind::kByte, 0xE2, true, false, StatsReset::kValue, 0},
    {0x44, StatsKind::kByte, 0xE2, true, false, StatsReset::kValue, 0},
    {0x45, StatsKind::kWord16, 0xE2, true, false, StatsReset::kValue, 0},
    {0x50, StatsKind::kDigit, 0xFF, false, false, StatsReset::kFlowTx, 0},
    {0x51, StatsKind::kDigit, 0xFF, false, false, StatsReset::kFlowRx, 0},
    {0x52, StatsKind::kWord32, 0xC0, false, false, StatsReset::kValue, 0},
    {0x53, StatsKind::kWord32, 0xC0, false, false, StatsReset::kValue, 0},
    {0x54, StatsKind::kWord16, 0xC0, false, false, StatsReset::kValue, 0},
    {0x55, StatsKind::kWord16, 0xC0, false, false, StatsReset::kValue, 0},
    {0x56, StatsKind::kWord32, 0xC2, true, false, StatsReset::kValue, 0},
    {0x57, StatsKind::kWord32, 0xC2, true, false, StatsReset::kValue, 0},
    {0x58, StatsKind::kWord16, 0xC2, true, false, StatsReset::kValue, 0},
    {0x59, StatsKind::kWord16, 0x42, true, false, StatsReset::kValue, 0},
    {0x60, StatsKind::kByte, 0xFF, false, false, StatsReset::kValue, 1},
    {0x61, StatsKind::kHidden, 0xC0, false, false, StatsReset::kValue, 0},
    {0xA0, StatsKind::kWord32, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xA1, StatsKind::kText, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xA2, StatsKind::kText, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xA3, StatsKind::kHidden, 0xFF, false, false, StatsReset::kValue, 0},
    {0xAF, StatsKind::kWord16, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xB0, StatsKind::kWord16, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xB1, StatsKind::kWord16, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xB2, StatsKind::kText, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xB3, StatsKind::kText, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xB4, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xB5, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xB6, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xC0, StatsKind::kWord16, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xC1, StatsKind::kWord16, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xCF, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xD0, StatsKind::kWord32, 0xFF, false, true, StatsReset::kIdent, 0},
    {0xDF, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xF0, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xF1, StatsKind::kHidden, 0xFF, false, false, StatsReset::kIdent, 0},
    {0xFE, StatsKind::kText, 0xFF, false, true, StatsReset::kKept, 0},
    {0xFF, StatsKind::kText, 0xFF, false, true, StatsReset::kIdent, 0},
};
inline constexpr std::size_t kStatsEntryCount = std::size(kStatsRows);

// The index of `key`'s row; kStatsEntryCount when the block has none.
constexpr std::size_t StatsIndex(std::uint8_t key) {
  for (std::size_t i = 0; i < kStatsEntryCount; ++i) {
    if (kStatsRows[i].key == key) return i;
  }
  return kStatsEntryCount;
}

// One entry: its value (byte entries use the low byte) or, for a text
// entry, the text it points to; and its class mask (bit 0 is set when an
// entry is marked for output).
struct StatsEntry {
  std::atomic<std::uint32_t> value{0};
  std::atomic<const char*> text{nullptr};
  std::atomic<std::uint8_t> class_mask{0};
};

// The controller's version as key 0xA0 gives it.
inline constexpr std::uint32_t kStatsControllerVersion = 0x00000465;
// The V.8 octet texts: 32 octets as two hex digits each, and a terminator.
inline constexpr std::size_t kStatsV8TextBytes = 2 * 32 + 1;
// The version texts of keys 0xA1 and 0xA2.
inline constexpr std::size_t kStatsVersionTextBytes = 16;

struct ModemStatisticsBlock {
  ModemStatisticsBlock();

  std::atomic<std::uint32_t> output_mask{kStatsPhaseReset};
  // 1 while no read-out from the data pump is in progress.
  std::atomic<std::uint8_t> valid{1};
  // The output mask as of the last report.
  std::atomic<std::uint32_t> mask_copy{0};
  std::array<StatsEntry, kStatsEntryCount> entries;

  StatsEntry& Entry(std::uint8_t key) { return entries[StatsIndex(key)]; }
  std::atomic<std::uint32_t>& Value(std::uint8_t key) { return Entry(key).value; }

  // The texts the entries point to: the V.8 CM and JM octets (keys 0x04
  // and 0x05, written with stats_hex_octets) and the two version texts.
  char cm_text[kStatsV8TextBytes] = {};
  char jm_text[kStatsV8TextBytes] = {};
  char controller_version[kStatsVersionTextBytes] = {};
  char dsp_version[kStatsVersionTextBytes] = {};
  // The front end's kind from the data pump's version block (0: unknown).
  std::atomic<std::uint16_t> hardware_kind{0};

  // Names for the entries the data paths count into.
  // 0x01: the call's progress through dialling, answering and V.8 (8: the
  // V.8 receiver saw the peer's idle 0x00 octets).
  std::atomic<std::uint32_t>& call_progress = Value(0x01);
  // 0x03: the V.80 mode of the data format: 0 none, 1 transparent, 2 framed.
  std::atomic<std::uint32_t>& v80_mode = Value(0x03);
  // 0x52: bytes taken from the application (blocks, voice, fax pages, V.80).
  std::atomic<std::uint32_t>& bytes_from_dte = Value(0x52);
  // 0x53: bytes given to the application.
  std::atomic<std::uint32_t>& bytes_to_dte = Value(0x53);
  // 0x54: bytes from the application lost when its online ring is emptied,
  // or when the line transmit ring is full.
  std::atomic<std::uint32_t>& tx_bytes_lost = Value(0x54);
  // 0x55: bytes from the line lost on a full line receive ring.
  std::atomic<std::uint32_t>& rx_bytes_lost = Value(0x55);

  ModemStatisticsBlock(const ModemStatisticsBlock&) = delete;
  ModemStatisticsBlock& operator=(const ModemStatisticsBlock&) = delete;
};

ModemStatisticsBlock& stats_block();

// Valid flag 1, output mask 0x10, every entry's reset value and class
// mask, then stats_init_ident.
void stats_reset();
// The identification entries: 0xA0 the controller's version, the version
// texts, 0xAF, 0xB0, 0xB1, the blank texts, 0xC0 the selected country's
// T.35 code, 0xC1 and the model text.
void stats_init_ident();
// 0xA1 := "\"4.65\""; asks the data pump for its version block (0x94) and
// sets 0xA2 to its first four words in decimal joined by '.' between
// double quotes (two double quotes without a reply).
void stats_init_versions();
// 0xFF := the model text (the same for every hardware kind).
void stats_set_model_text();

// After a connection: fills `record` from the link protocols; the link
// (LAPM, MNP or none) sets output-mask bit 1 and keys 0x40 and 0x44; the
// read-out's symbol-rate and carrier indices set keys 0x22-0x25.
void stats_set_link_info(EcStatistics& record);
// The #UD report toward the application (the command interpreter's
// response output, which whoever calls it links).
void stats_print_diag();

// 10 log10(x) in units of 1/256 dB (0 for 0 and 1), to the data pump's
// fixed-point steps: log2 with 11 fraction bits, times 49321, shifted
// right by 17.
std::uint32_t stats_db(std::uint32_t x);
// The same for values beyond 32 bits (a power scaled up).
std::uint32_t stats_db_wide(std::uint64_t x);

// `bytes` as two upper-case hex digits each, then a terminator, into
// `text`; cut to the octets that fit with the terminator.
void stats_hex_octets(std::span<char> text, std::span<const std::uint8_t> bytes);

}  // namespace vxctl
