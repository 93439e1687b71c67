// Our V.8 (the data pump and the test-side controller) against spandsp's
// V.8 in both roles: the exchange completes, spandsp reports a V.8 call
// with the modulation our controller chose, and our side starts that modem
// at its tick: the caller on the second tick after its last octet went out
// in the V.34, V.90 and V.92 modes and on the fifth otherwise, the answerer
// five ticks after CJ ended its listening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "pump/callprogress/tests/call_rig.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/v8_controller.h"
#include "pump/v8/tests/spandsp_v8_peer.h"
#include "pump/v8/tests/v8_rig.h"

namespace pump::v8_test {
namespace {

namespace msg = testing::v8msg;

constexpr std::uint8_t kDataFormat = 0x61;

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

// One V.8 call of case `c` against spandsp's V.8, from the call's start
// until our modem started (or 1200 blocks passed) and spandsp reported.
Trace RunExchange(PumpHarness& harness, const InteropCase& c, testing::V8Controller& controller,
                  SpandspV8Peer& peer) {
  DspContext& context = harness.Context();
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
  return trace;
}

// The call start both tests share: a fresh call with no modem started.
void PrepareCall(PumpHarness& harness) {
  cp_test::StartCall(harness);
  DspContext& context = harness.Context();
  context.transmit_level = kTransmitLevel;
  context.fsk.start_type = -1;
  context.pending = {};
}

class V8Interop : public ::testing::TestWithParam<InteropCase> {};

TEST_P(V8Interop, ExchangeCompletesAndTheChosenModemStartsOnItsTick) {
  const InteropCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    PrepareCall(harness);
    DspContext& context = harness.Context();
    testing::V8Controller controller(harness.Controller(), harness.Host(),
                                     {.originate = c.originate, .menu = OfferingOf(c.ours)});
    SpandspV8Peer peer(!c.originate, c.theirs);
    const Trace trace = RunExchange(harness, c, controller, peer);

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

// Case `c`'s exchange, then seeded characters both ways between the V.21
// modem our V.8 procedure started and spandsp's V.21 modem.
void V21DataBothWays(const InteropCase& c) {
  constexpr std::size_t kBytes = 24;
  const std::vector<std::uint8_t> ours = fsk_testing::RandomBytes(kBytes, 38);
  const std::vector<std::uint8_t> theirs = fsk_testing::RandomBytes(kBytes, 83);
  PumpHarness harness;
  harness.Run([&] {
    PrepareCall(harness);
    std::optional<SpandspV21Peer> v21;
    std::size_t rx_blocks = 0;
    {
      testing::V8Controller controller(harness.Controller(), harness.Host(),
                                       {.originate = c.originate, .menu = OfferingOf(c.ours)});
      SpandspV8Peer peer(!c.originate, c.theirs);
      ASSERT_GE(RunExchange(harness, c, controller, peer).modem_start, 0);
      ASSERT_TRUE(peer.Called());
      ASSERT_EQ(harness.Context().fsk.start_type, kFskV21Data);
      rx_blocks = harness.Controller().RxBlocks().size();
      v21.emplace(c.originate ? FSK_V21CH2 : FSK_V21CH1, theirs, 500, peer.heard());
    }
    // Data mode: the controller sets the framer (0x61: asynchronous, 8N1),
    // which also clears what the V.8 octets left in the mailboxes.
    harness.Controller().Exchange(kDataFormat, {0, 0});
    harness.Controller().StreamTx(0, ours);
    // 300 bit/s, ten bits a character, after half a second of marks.
    for (int b = 0; b < 200 + static_cast<int>(kBytes) * 4; ++b) v21->Block(harness);

    std::vector<std::uint8_t> heard;
    const auto& blocks = harness.Controller().RxBlocks();
    for (std::size_t k = rx_blocks; k < blocks.size(); ++k) {
      heard.insert(heard.end(), blocks[k].data.begin(), blocks[k].data.end());
    }
    EXPECT_TRUE(v21->sent_all());
    EXPECT_EQ(harness.Controller().TxStreamLeft(), 0u);
    EXPECT_EQ(heard, theirs) << "what our V.21 receiver heard from spandsp";
    EXPECT_EQ(v21->received(), ours) << "what spandsp's V.21 receiver heard from ours";
  });
}

// Once V.8 chose V.21, the V.21 modem the V.8 procedure started carries
// seeded characters both ways with spandsp's V.21 modem: the caller on
// channel 1, the answerer on channel 2.
TEST(V8InteropV21, CarriesDataBothWaysAfterTheExchange) {
  for (const InteropCase& c : kInterop) {
    if (c.mode == 2) {
      SCOPED_TRACE(c.name);
      V21DataBothWays(c);
    }
  }
}

}  // namespace
}  // namespace pump::v8_test
