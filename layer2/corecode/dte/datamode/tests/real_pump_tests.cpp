// The data channel's packets on the real vxdsp (over vxafe and the
// simulated front end): every format kind, the flow characters and the
// V.80 receive clear are accepted, and register 60 follows the framer.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"

namespace vxctl::testing {
namespace {

TEST(DataModeRealPump, FormatsFlowCharactersAndTheV80ClearAreAccepted) {
  RunOnVxdsp([] {
    struct Case {
      std::uint32_t mode;
      std::uint8_t kind;
      bool hdlc_bit;
    };
    for (const Case& c : {Case{kModeDirect, kFormatAsync, false}, Case{kModeMnpHdlc, kFormatHdlc, true},
                          Case{kModeCallerId, kFormatSync, false},
                          Case{kModeDirect, kFormatKind3, false},
                          Case{kModeV80, kFormatSync, false}, Case{kModeV80, kFormatHdlc, true},
                          Case{kModeDirect, kFormatAsync, false}}) {
      SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " kind " << int(c.kind));
      datamode_state().mode = c.mode;
      EXPECT_EQ(datamode_send_format(c.kind), kDspSent);
      EXPECT_EQ((dsp_reg_read(60) & 0x08) != 0, c.hdlc_bit);
    }
    EXPECT_EQ(datamode_set_flow_chars(0, 0, 0, 1), kDspSent);
    EXPECT_EQ(datamode_set_flow_chars(0, 0, 0, 0), kDspSent);
    datamode_state().mode = kModeV80;
    EXPECT_EQ(line_rx_clear(), kDspSent);
  });
}

}  // namespace
}  // namespace vxctl::testing
