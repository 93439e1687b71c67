// Caller ID end to end: the exchange rings our machine, on hook with caller
// ID armed (0x93 mode 1), and sends the caller's message by FSK after the
// first ring (or, for CLIP, before it, after the alerting tone), by DTMF
// before the first ring, or (JCLIP) by FSK once the set has answered the
// incoming-call ring; the data pump delivers the message's bytes to the
// controller and lets go of the line once it ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hal/instant.h"
#include "platform/line/exchange/caller_id.h"
#include "platform/line/exchange/exchange.h"
#include "pump/core/comram.h"
#include "pump/tests/support/called_machine_rig.h"

namespace pump::testing {
namespace {

namespace ex = plat::line::exchange;

using plat::hal::kMillisecond;

struct ExchangeCase {
  const char* name;
  ex::CallerId standard;
  ex::CallerIdTime time;
  std::uint8_t type;  // of 0x93
  std::string logged_as;  // the exchange log's name of the standard
  std::vector<std::uint8_t> marker;  // what comes before the message
  std::uint8_t framer_type = 0;      // of 0x61: DTMF characters are raw octets
  bool answers_the_incoming_ring = false;
};

void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }

class CallerIdFromExchange : public CalledMachineRig,
                             public ::testing::WithParamInterface<ExchangeCase> {
 protected:
  // The caller has a name; our machine is armed for caller ID before the call.
  void SetUp() override {
    const ExchangeCase& c = GetParam();
    BuildAndBoot({.caller_id = c.standard, .caller_id_time = c.time}, "A CALLER");
    OnKernelThread([&] {
      ControllerDouble& controller = TheController().Double();
      controller.WritePowerState(0xD0);
      controller.Exchange(0x60, {0});
      controller.Exchange(0x61, {c.framer_type, 0});
      controller.Exchange(0x65, {0, 0x01});
      controller.Exchange(0x93, {1, 0, c.type});
    });
    sim.RunFor(100 * kMillisecond);
    CallUs();
  }

  // The incoming-call ring of the Japanese service (half a second on, half
  // off): the controller answers it (off hook) during its second ring, hears
  // the message and hangs up again, as for a call it does not take.
  void AnswerTheIncomingRing() {
    for (int ms = 0; ms < 5000 && built_.exchange->log().Of(0, ex::EventKind::kRing).empty();
         ms += 10) {
      sim.RunFor(10 * kMillisecond);
    }
    sim.RunFor(1100 * kMillisecond);
    SetOnHook(false);
    sim.RunFor(2000 * kMillisecond);
    SetOnHook(true);
    sim.RunFor(500 * kMillisecond);
  }
};

// The bytes a log line's hex ("80 1a 01 ...") stands for.
std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

TEST_P(CallerIdFromExchange, TheMailboxHoldsTheMessageTheExchangeSent) {
  const ExchangeCase& c = GetParam();
  if (c.answers_the_incoming_ring) {
    AnswerTheIncomingRing();
  } else {
    // The first ring, the message and a little more.
    sim.RunFor(7000 * kMillisecond);
  }
  const auto sent = built_.exchange->log().Of(0, ex::EventKind::kCallerId);
  ASSERT_EQ(sent.size(), 1u) << built_.exchange->log().Text();
  const std::string prefix = c.logged_as + " ";
  ASSERT_EQ(sent[0].detail.rfind(prefix, 0), 0u) << sent[0].detail;
  std::vector<std::uint8_t> expected = c.marker;
  const std::string logged = sent[0].detail.substr(prefix.size());
  const std::vector<std::uint8_t> message =
      c.standard == ex::CallerId::kClipDtmf ? std::vector<std::uint8_t>(logged.begin(), logged.end())
                                            : FromHex(logged);
  ASSERT_GT(message.size(), 3u);
  expected.insert(expected.end(), message.begin(), message.end());

  std::vector<std::uint8_t> heard;
  std::uint32_t armed = 1;
  OnKernelThread([&] {
    for (const auto& block : TheController().Double().RxBlocks()) {
      heard.insert(heard.end(), block.data.begin(), block.data.end());
    }
    armed = TheController().Context()->caller_id_hook;
  });
  ASSERT_GE(heard.size(), expected.size()) << ex::HexBytes(heard);
  heard.resize(expected.size());
  EXPECT_EQ(ex::HexBytes(heard), ex::HexBytes(expected));
  EXPECT_EQ(armed, 0u) << "the message's end ends caller ID";
}

INSTANTIATE_TEST_SUITE_P(
    Standards, CallerIdFromExchange,
    ::testing::Values(
        ExchangeCase{"ClassSdmf", ex::CallerId::kClassSdmf, ex::CallerIdTime::kAfterFirstRing, 0,
                     "class", {}},
        ExchangeCase{"ClassMdmf", ex::CallerId::kClassMdmf, ex::CallerIdTime::kAfterFirstRing, 0,
                     "class", {}},
        ExchangeCase{"ClipAfterTheFirstRing", ex::CallerId::kClip,
                     ex::CallerIdTime::kAfterFirstRing, 0, "clip", {}},
        ExchangeCase{"ClipBeforeTheFirstRing", ex::CallerId::kClip,
                     ex::CallerIdTime::kBeforeFirstRing, 0, "clip", {}},
        ExchangeCase{"ClassMdmfFskOrDtmf", ex::CallerId::kClassMdmf,
                     ex::CallerIdTime::kAfterFirstRing, 3, "class", {0x00}},
        ExchangeCase{"ClipByDtmf", ex::CallerId::kClipDtmf, ex::CallerIdTime::kBeforeFirstRing,
                     2, "clip dtmf", {}, 1},
        ExchangeCase{"ClipByDtmfFskOrDtmf", ex::CallerId::kClipDtmf,
                     ex::CallerIdTime::kBeforeFirstRing, 3, "clip dtmf", {0xFF}},
        ExchangeCase{"JclipAfterTheIncomingCallRing", ex::CallerId::kJclip,
                     ex::CallerIdTime::kAfterFirstRing, 1, "jclip", {}, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::testing
