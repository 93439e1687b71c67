// Our V.8 (the data pump and the test-side controller) against spandsp's
// V.8 in both roles: the exchange completes, spandsp reports a V.8 call
// with the modulation our controller chose, and our side starts that modem
// at its tick: the caller on the second tick after its last octet went out
// in the V.34, V.90 and V.92 modes and on the fifth otherwise, the answerer
// five ticks after CJ ended its listening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "pump/callprogress/tests/call_rig.h"
#include "pump/fsk/fsk_start.h"
#include "pump/tests/support/v8_controller.h"
#include "pump/v8/tests/spandsp_v8_peer.h"
#include "pump/v8/tests/v8_rig.h"

namespace pump::v8_test {
namespace {

namespace msg = testing::v8msg;

msg::Menu OfferingOf(std::uint32_t modulations) {
  msg::Menu menu;
  menu.modulations = modulations;
  menu.protocols = 0x2A;  // LAPM
  return menu;
}

struct InteropCase {
  const char* name;
  bool originate;
  std::uint32_t ours;
  unsigned theirs;  // spandsp's V8_MOD_ bits
  int mode;
  unsigned spandsp_mode;
  int ticks_to_start;  // from the tick the exchange ended to the modem start
};

const InteropCase kInterop[] = {
    {"CallerV21", true, msg::kModV21, V8_MOD_V21 | V8_MOD_V22, 2, V8_MOD_V21, 5},
    {"CallerV34", true, msg::kModV21 | msg::kModV34, V8_MOD_V21 | V8_MOD_V34, 17, V8_MOD_V34, 2},
    {"AnswererV21", false, msg::kModV21 | msg::kModV23, V8_MOD_V21 | V8_MOD_V34, 2, V8_MOD_V21, 5},
    {"AnswererV34", false, msg::kModV21 | msg::kModV32 | msg::kModV34, V8_MOD_V21 | V8_MOD_V34,
     17, V8_MOD_V34, 5},
};

struct Trace {
  int ansam_onset = -1;  // caller: the first block of the far end's tone
  int cm_event = -1;     // caller: register 56 event 32
  int exchange_end = -1; // the block V8Call2 or V8Ans3 ended in
  int modem_start = -1;
};

bool ModemStarted(const DspContext& context) {
  return context.fsk.start_type == kFskV21Data ||
         context.pending[Pending::kStartPhase2].count != 0;
}

class V8Interop : public ::testing::TestWithParam<InteropCase> {};

TEST_P(V8Interop, ExchangeCompletesAndTheChosenModemStartsOnItsTick) {
  const InteropCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    cp_test::StartCall(harness);
    DspContext& context = harness.Context();
    context.transmit_level = kTransmitLevel;
    context.fsk.start_type = -1;
    context.pending = {};
    testing::V8Controller controller(harness.Controller(), harness.Host(),
                                     {.originate = c.originate, .menu = OfferingOf(c.ours)});
    SpandspV8Peer peer(!c.originate, c.theirs);
    controller.StartCall();
    const StateTable<DspContext> table = c.originate ? V8CallTable() : V8AnswerTable();
    constexpr int kListening = 3;  // V8Call2, V8Ans3: until the exchange ends
    Trace trace;
    int interrupts = harness.Controller().Interrupts();
    for (int b = 0; b < 1200 && trace.modem_start < 0; ++b) {
      peer.Block(harness);
      controller.Poll();
      if (trace.ansam_onset < 0 && peer.sounding()) trace.ansam_onset = b;
      if (harness.Controller().Interrupts() != interrupts) {
        interrupts = harness.Controller().Interrupts();
        if (GetDspReg(harness.Host(), kRegEventType) == kV8EventCmStarts && trace.cm_event < 0) {
          trace.cm_event = b;
        }
      }
      // The tick that saw the exchange end leaves no count to run.
      if (OnV8Entry(context, table, kListening) && context.rx.remaining_count == 0) {
        trace.exchange_end = b;
      }
      if (ModemStarted(context)) trace.modem_start = b;
    }
    // spandsp finishes when it hears the end of the exchange.
    for (int b = 0; b < 100 && !peer.Called(); ++b) peer.Block(harness);

    std::string heard;
    for (std::uint8_t o : controller.received()) heard += " " + std::to_string(o);
    SCOPED_TRACE("received:" + heard);
    ASSERT_TRUE(controller.done());
    EXPECT_EQ(controller.mode(), c.mode);
    ASSERT_TRUE(peer.Called()) << "spandsp reports a V.8 call";
    EXPECT_NE(peer.result()->modulations & c.spandsp_mode, 0u);
    ASSERT_GE(trace.modem_start, 0) << "our modem started";
    ASSERT_GE(trace.exchange_end, 0);
    EXPECT_EQ(trace.modem_start - trace.exchange_end, c.ticks_to_start);
    EXPECT_EQ(context.call.mode, c.mode);
    if (c.mode == 2) {
      EXPECT_EQ(context.fsk.start_type, kFskV21Data);
    } else {
      EXPECT_EQ(context.pending[Pending::kStartPhase2].count, 1u);
    }
    if (c.originate) {
      ASSERT_GE(trace.ansam_onset, 0);
      std::printf("%s: CM starts %d ms after the onset of spandsp's ANSam\n", c.name,
                  10 * (trace.cm_event - trace.ansam_onset));
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Spandsp, V8Interop, ::testing::ValuesIn(kInterop),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::v8_test
