// The conversions between the port's DCB and the configuration's: every
// flag combination both forms can hold goes through unchanged each way,
// and each flag lands on the bit the other form gives it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "layer2/corecode/mt/port/dcb_conversions.h"

namespace vxctl::testing {
namespace {

// The flag correspondence both forms can express: independent bits, then
// the DTR and RTS control fields with their values in each form.
struct Bit {
  std::uint32_t serial;
  std::uint32_t comm;
};

constexpr Bit kIndependent[] = {
    {0x00000001, 0x0001}, {0x00000004, 0x0002}, {0x00000008, 0x0004}, {0x00000010, 0x0008},
    {0x00000100, 0x0100}, {0x00000200, 0x0200}, {0x00000400, 0x0400}, {0x00000800, 0x0800},
    {0x00010000, 0x0040}, {0x00020000, 0x0080}, {0x00080000, 0x4000},
};
constexpr Bit kDtrControl[] = {{0x00000080, 0x0000}, {0x00002000, 0x0020}, {0x00040000, 0x0010}};
constexpr Bit kRtsControl[] = {
    {0x00000002, 0x0000}, {0x00004000, 0x2000}, {0x00200000, 0x3000}, {0x00100000, 0x1000}};

// Every combination: the flags in both forms.
std::vector<Bit> Combinations() {
  std::vector<Bit> all;
  for (std::uint32_t bits = 0; bits < (1u << std::size(kIndependent)); ++bits) {
    Bit base{0, 0};
    for (std::size_t i = 0; i < std::size(kIndependent); ++i) {
      if ((bits >> i & 1) != 0) {
        base.serial |= kIndependent[i].serial;
        base.comm |= kIndependent[i].comm;
      }
    }
    for (const Bit& dtr : kDtrControl) {
      for (const Bit& rts : kRtsControl) {
        all.push_back({base.serial | dtr.serial | rts.serial, base.comm | dtr.comm | rts.comm});
      }
    }
  }
  return all;
}

SerialDcb SerialWith(std::uint32_t flags, std::uint32_t seed) {
  SerialDcb dcb{};
  dcb.length = 51;
  dcb.baud = 300 + seed * 7;
  dcb.flags = flags;
  dcb.xon_limit = seed & 0xFFFF;
  dcb.xoff_limit = (seed * 31) & 0xFFFF;
  dcb.byte_size = static_cast<std::uint8_t>(5 + seed % 4);
  dcb.parity = static_cast<std::uint8_t>(seed % 5);
  dcb.stop_bits = static_cast<std::uint8_t>(seed % 3);
  dcb.xon_char = static_cast<std::uint8_t>(seed);
  dcb.xoff_char = static_cast<std::uint8_t>(seed >> 3);
  dcb.error_char = static_cast<std::uint8_t>(seed * 3);
  dcb.eof_char = static_cast<std::uint8_t>(seed * 5);
  dcb.event_char1 = static_cast<std::uint8_t>(seed * 11);
  return dcb;
}

TEST(PortDcbConversions, SerialToCommAndBack) {
  std::uint32_t seed = 1;
  for (const Bit& flags : Combinations()) {
    const SerialDcb original = SerialWith(flags.serial, seed++);
    const CommDcb comm = dcb_to_comm(original);
    ASSERT_EQ(+comm.flags, flags.comm) << std::hex << "serial flags 0x" << flags.serial;
    ASSERT_EQ(+comm.length, 28u);
    SerialDcb back{};
    dcb_from_comm(comm, back);
    ASSERT_EQ(std::memcmp(&back, &original, sizeof back), 0) << std::hex << "0x" << flags.serial;
  }
}

TEST(PortDcbConversions, CommToSerialAndBack) {
  std::uint32_t seed = 1;
  for (const Bit& flags : Combinations()) {
    const CommDcb original = dcb_to_comm(SerialWith(flags.serial, seed++));
    SerialDcb serial{};
    dcb_from_comm(original, serial);
    ASSERT_EQ(+serial.flags, flags.serial) << std::hex << "comm flags 0x" << flags.comm;
    ASSERT_EQ(+serial.length, 51u);
    const CommDcb back = dcb_to_comm(serial);
    ASSERT_EQ(std::memcmp(&back, &original, sizeof back), 0) << std::hex << "0x" << flags.comm;
  }
}

TEST(PortDcbConversions, LimitsAndFieldsOutsideTheOtherForm) {
  SerialDcb serial = SerialWith(0x80 | 0x2, 9);
  serial.xon_limit = 0x00012345;
  serial.xoff_limit = 0xFFFFFFFF;
  serial.event_char2 = 0x7E;
  serial.reserved2[0] = 1;
  const CommDcb comm = dcb_to_comm(serial);
  EXPECT_EQ(+comm.xon_limit, 0x2345);
  EXPECT_EQ(+comm.xoff_limit, 0xFFFF);
  EXPECT_EQ(+comm.reserved, 0);
  EXPECT_EQ(+comm.reserved2, 0);

  // Widened, with event character 2 and the reserved bytes cleared; the
  // time-outs, transmit delay and reserved word are the caller's.
  SerialDcb back{};
  back.reserved = 0xAAAAAAAA;
  back.dcd_timeout = 5;
  back.transmit_delay = 6;
  back.event_char2 = 0x55;
  back.reserved2[1] = 0x55;
  dcb_from_comm(comm, back);
  EXPECT_EQ(+back.xon_limit, 0x2345u);
  EXPECT_EQ(+back.xoff_limit, 0xFFFFu);
  EXPECT_EQ(+back.event_char2, 0);
  EXPECT_EQ(+back.reserved2[0], 0);
  EXPECT_EQ(+back.reserved2[1], 0);
  EXPECT_EQ(+back.reserved, 0xAAAAAAAAu);
  EXPECT_EQ(+back.dcd_timeout, 5u);
  EXPECT_EQ(+back.transmit_delay, 6u);
}

// Control values with no counterpart: DTR control 0x30 gives no DTR flag;
// a DCB with none of the control flags reads as disabled.
TEST(PortDcbConversions, ControlFieldsWithoutCounterpart) {
  CommDcb comm{};
  comm.flags = 0x0030 | 0x1000;
  SerialDcb serial{};
  dcb_from_comm(comm, serial);
  EXPECT_EQ(+serial.flags, 0x00100000u);

  SerialDcb none{};
  none.flags = 0x1;
  EXPECT_EQ(dcb_to_comm(none).flags, 0x1u);
}

}  // namespace
}  // namespace vxctl::testing
