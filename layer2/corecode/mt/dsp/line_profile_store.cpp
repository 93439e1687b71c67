#include "layer2/corecode/mt/dsp/line_profile_store.h"

#include <algorithm>
#include <cstring>

#include "layer2/corecode/mt/registry/saved_data.h"

namespace vxctl {
namespace {

constexpr std::size_t kStoredProbe = 100;

// The store emptied, then a stored profile that is a valid table.
void LoadStored(LineProfileStore& store) {
  store.bytes.fill(0xFF);
  store.step = 1;
  std::array<std::uint8_t, kLineProfileBytes> loaded;
  ULONG size = kLineProfileBytes;
  if (!reg_load_qc_data(loaded.data(), &size)) return;
  const std::span<const std::uint8_t> image(loaded.data(), size);
  if (!image_table_valid(image)) return;
  std::copy(image.begin(), image.end(), store.bytes.begin());
}

}  // namespace

bool next_image_record(std::span<const std::uint8_t> table, std::size_t* at, ImageRecord* record) {
  const std::span<const std::uint8_t> rest = table.subspan(std::min(*at, table.size()));
  if (rest.size() < kImageRecordHeader || rest[0] == kImageTableEnd || (rest[0] & 0xF0) != 0) {
    return false;
  }
  const std::size_t bytes = 2 * static_cast<std::size_t>(rest[4] | rest[5] << 8);
  if (rest.size() - kImageRecordHeader < bytes) return false;
  *record = {rest[0], rest[1], static_cast<std::uint16_t>(rest[2] | rest[3] << 8),
             rest.subspan(kImageRecordHeader, bytes)};
  *at += kImageRecordHeader + bytes;
  return true;
}

bool image_table_valid(std::span<const std::uint8_t> image) {
  std::size_t at = 0;
  ImageRecord record;
  while (next_image_record(image, &at, &record)) {
  }
  return at < image.size() && image[at] == kImageTableEnd;
}

void ModemTask_ProfileStoreOp(int op, const std::uint8_t* buffer, std::size_t length) {
  LineProfileStore& store = line_profile_store();
  switch (op) {
    case 0:
      LoadStored(store);
      return;
    case 1:
      if (buffer == nullptr || length > kLineProfileBytes) return;
      reg_save_qc_data({buffer, length});
      std::memcpy(store.bytes.data(), buffer, length);
      return;
    case 2:
      store.bytes.fill(0xFF);
      reg_save_qc_data(store.bytes);
      return;
    default:
      return;
  }
}

void ModemTask_FRDSPImageInit() { ModemTask_ProfileStoreOp(0, nullptr, 0); }

void ModemTask_FRDSPImageStore(const std::uint8_t* buffer, std::size_t length) {
  ModemTask_ProfileStoreOp(1, buffer, length);
}

void ModemTask_FRDSPImageClear() { ModemTask_ProfileStoreOp(2, nullptr, 0); }

bool ModemTask_ProfileStored() {
  const auto& bytes = line_profile_store().bytes;
  return std::any_of(bytes.begin(), bytes.begin() + kStoredProbe,
                     [](std::uint8_t b) { return b != 0 && b != 0xFF; });
}

}  // namespace vxctl
