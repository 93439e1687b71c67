#include <gtest/gtest.h>

#include "pump/core/dp_status.h"
#include "pump/core/tests/host_fixture.h"

namespace pump {
namespace {

using DpStatus = testing::HostFixture;

TEST_F(DpStatus, CodesReplaceTheLowNibbleAndFlagsAreSetOrCleared) {
  struct Case {
    std::uint8_t before;
    std::uint8_t value;
    bool set;
    std::uint8_t after;
  };
  const Case cases[] = {
      // A value below 16 is a status code, whatever the flag.
      {0x15, 3, false, 0x13},
      {0x15, 3, true, 0x13},
      {0x52, 0, false, 0x50},
      {0x40, 15, false, 0x4F},
      // 16 and above are flag bits.
      {0x02, 0x10, true, 0x12},
      {0x12, 0x10, false, 0x02},
      {0x13, 0x40, true, 0x53},
      {0x53, 0x40, false, 0x13},
      {0x5F, 0x50, false, 0x0F},
      {0x00, 0x11, true, 0x11},  // set as given, low bits included
      {0xFF, 0x11, false, 0xEE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << std::hex << int{c.before} << " " << int{c.value} << " " << c.set);
    SetDspReg(*host, kRegStatus, c.before);
    SetDpStatus(*host, c.value, c.set);
    EXPECT_EQ(page()[54], c.after);
    EXPECT_EQ(controller_calls, 0);
  }
}

}  // namespace
}  // namespace pump
