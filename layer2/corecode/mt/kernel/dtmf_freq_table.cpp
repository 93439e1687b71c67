// The built-in DTMF frequency table: each key's row and column tones as
// phase increments per sample at 9600 Hz (a full turn is 65536).
#include <array>

#include "layer2/corecode/mt/kernel/line_services_start.h"

namespace vxctl {
namespace {

constexpr std::array<std::uint16_t, 4> kRowHz = {697, 770, 852, 941};
constexpr std::array<std::uint16_t, 4> kColumnHz = {1209, 1336, 1477, 1633};

struct Key {
  char character;
  std::uint8_t row;
  std::uint8_t column;
};

constexpr std::array<Key, kDtmfFreqRows - 1> kKeys = {{
    {'0', 3, 1},
    {'1', 0, 0},
    {'2', 0, 1},
    {'3', 0, 2},
    {'4', 1, 0},
    {'5', 1, 1},
    {'6', 1, 2},
    {'7', 2, 0},
    {'8', 2, 1},
    {'9', 2, 2},
    {'*', 3, 0},
    {'#', 3, 2},
    {'A', 0, 3},
    {'B', 1, 3},
    {'C', 2, 3},
    {'D', 3, 3},
}};

constexpr std::uint16_t Increment(std::uint16_t hz) {
  return static_cast<std::uint16_t>(std::uint32_t{hz} * 65536 / 9600);
}

constexpr std::array<std::uint8_t, 2> BigEndian(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

void LS_fill_dtmf_table(DtmfFreqTable& table) {
  table = DtmfFreqTable{};
  table.count = {static_cast<std::uint8_t>(kDtmfFreqRows), 0};
  for (std::size_t n = 0; n < kKeys.size(); ++n) {
    const Key& key = kKeys[n];
    table.rows[n] = {static_cast<std::uint8_t>(key.character),
                     BigEndian(Increment(kRowHz[key.row])),
                     BigEndian(Increment(kColumnHz[key.column]))};
  }
}

}  // namespace vxctl
