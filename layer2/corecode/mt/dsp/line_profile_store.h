// The line profile the data pump uploads at the end of a training and
// wants back before a quick-connect call: a 4000-byte store (0xFF when
// empty) kept in the registry value "qcData". The store holds an image
// table: records {u8 attribute (bit 0 memory, bits 1-3 page), u8 id, u16
// address, u16 word count, the words}, ended by a record whose first byte
// is 0x30.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

inline constexpr std::size_t kLineProfileBytes = 4000;
inline constexpr std::uint8_t kImageTableEnd = 0x30;
inline constexpr std::size_t kImageRecordHeader = 6;

struct LineProfileStore {
  LineProfileStore() { bytes.fill(0xFF); }
  std::array<std::uint8_t, kLineProfileBytes> bytes;
  std::uint8_t step = 1;  // the download's byte step
};

inline LineProfileStore& line_profile_store() { return MachineState<LineProfileStore>(); }

struct ImageRecord {
  std::uint8_t attribute = 0;
  std::uint8_t id = 0;
  std::uint16_t address = 0;
  std::span<const std::uint8_t> data;  // 2 x the word count
};

// The record at *at, which then moves past it; false at the end byte and at
// a record that does not fit: its header or words past the table, or
// attribute bits above bit 3.
bool next_image_record(std::span<const std::uint8_t> table, std::size_t* at, ImageRecord* record);
// Whether `image` begins with a whole table: records that fit, then the
// end byte.
bool image_table_valid(std::span<const std::uint8_t> image);

// Op 0: the store emptied, then "qcData" loaded into it when it is at most
// 4000 bytes and a valid table. Op 1: with a buffer of at most 4000 bytes,
// saved as "qcData" and copied into the store. Op 2: the store emptied and
// saved whole. Other ops do nothing.
void ModemTask_ProfileStoreOp(int op, const std::uint8_t* buffer, std::size_t length);
// At the controller's start.
void ModemTask_FRDSPImageInit();
void ModemTask_FRDSPImageStore(const std::uint8_t* buffer, std::size_t length);
void ModemTask_FRDSPImageClear();
// True when any of the store's first 100 bytes is neither 0 nor 0xFF.
bool ModemTask_ProfileStored();

}  // namespace vxctl
