#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "pump/afe_access/afe_requests.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

enum class Answer { kNone, kAck, kNotYet, kEcho, kReply, kFaxCdThenAck };

// What the controller gets back for each code, with a payload whose key
// (for the access codes) is unknown.
struct CodeAnswer {
  Answer answer;
  std::uint8_t reply = 0;  // the reply's code
  std::uint8_t length = 0;
};

CodeAnswer Expected(int code) {
  // 0x95 outside voice mode answers with itself.
  const std::set<int> echo = {9, 10, 11, 12, 13, 14, 0x64, 0x6B, 0x85, 0x95};
  const std::set<int> not_yet = {0xA0, 0xA1, 0xA3};
  if (code == 0) return {Answer::kNone};
  if (echo.contains(code)) return {Answer::kEcho};
  if (not_yet.contains(code)) return {Answer::kNotYet};
  switch (code) {
    case 0x70:
      return {Answer::kReply, kDpDataRate, 1};
    case 0x72:
      return {Answer::kReply, kDpMode, 1};
    case 0x74:
      return {Answer::kFaxCdThenAck};
    case 0x82:
      return {Answer::kReply, kDpPcmInfo, 8};
    case 0x91:
      return {Answer::kReply, kDpV34Info, 6};
    case 0x94:
      return {Answer::kReply, kDpVersionInfo, 10};
    default:
      return {Answer::kAck};
  }
}

TEST(Dispatcher, AnswersEveryCodeByItsKind) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    // Byte 1 selects mode 0 for the connect commands; as a key, 0x6077 is unknown.
    const std::vector<std::uint8_t> payload = {0x77, 0x60, 0, 0, 5, 6};
    for (int code = 0; code < 256; ++code) {
      SCOPED_TRACE(::testing::Message() << "code 0x" << std::hex << code);
      const CodeAnswer expected = Expected(code);
      const auto before = harness.Context().pending[Pending::kCommand];
      const auto got = controller.Exchange(static_cast<std::uint8_t>(code), payload);
      const ReceivedPacket ack{kDpAck, 1, {static_cast<std::uint8_t>(code)}};
      switch (expected.answer) {
        case Answer::kNone:
          EXPECT_TRUE(got.empty());
          break;
        case Answer::kAck:
          EXPECT_EQ(got, std::vector<ReceivedPacket>{ack});
          break;
        case Answer::kNotYet: {
          EXPECT_EQ(got, std::vector<ReceivedPacket>{ack});
          const auto after = harness.Context().pending[Pending::kCommand];
          EXPECT_EQ(after.count, before.count + 1);
          EXPECT_EQ(after.args[0], code);
          break;
        }
        case Answer::kEcho:
          EXPECT_EQ(got,
                    (std::vector<ReceivedPacket>{{static_cast<std::uint8_t>(code), 6, payload}}));
          break;
        case Answer::kReply:
          ASSERT_EQ(got.size(), 1u);
          EXPECT_EQ(got[0].code, expected.reply);
          EXPECT_EQ(got[0].length, expected.length);
          break;
        case Answer::kFaxCdThenAck:
          EXPECT_EQ(got, (std::vector<ReceivedPacket>{{kDpFaxCd, 2, {0, 0}}, ack}));
          break;
      }
      if (expected.answer != Answer::kNotYet) {
        EXPECT_EQ(harness.Context().pending[Pending::kCommand].count, before.count);
      }
    }
    // Each command not built yet said so once.
    const auto& log = harness.Machine().log();
    const auto lines = std::count_if(log.begin(), log.end(), [](const plat::ke::LogLine& line) {
      return line.text.find("is not built yet") != std::string::npos;
    });
    EXPECT_EQ(lines, 3);
  });
}

TEST(Dispatcher, AnAnswerRefusedWhileRegister0IsBusyIsLost) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Hold(true);
    EXPECT_TRUE(controller.Exchange(0x72).empty());
    EXPECT_EQ(harness.Host().comram.reg[kRegDpPacket], kDpMode);
    EXPECT_TRUE(controller.Exchange(0x70).empty());
    EXPECT_EQ(harness.Host().comram.reg[kRegCpPacket], 0) << "the command was taken";
    controller.Hold(false);
    EXPECT_EQ(controller.TakePackets(), (std::vector<ReceivedPacket>{{kDpMode, 1, {0}}}));
    EXPECT_TRUE(controller.Exchange(0x62).size() == 1) << "answers flow again";
  });
}

// ---- Power states --------------------------------------------------------------------

constexpr int kHookHeld = -1;  // a step that takes the hook relay first

struct PowerCase {
  const char* name;
  std::vector<int> states;  // values written to register 252, or kHookHeld
  std::vector<testing::Request> requests;
};

void PrintTo(const PowerCase& c, std::ostream* out) { *out << c.name; }

class PowerStates : public ::testing::TestWithParam<PowerCase> {};

TEST_P(PowerStates, DriveThePowerHookAndSoundRequests) {
  const PowerCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    harness.Afe().ClearLog();
    for (int state : c.states) {
      if (state == kHookHeld) {
        SetAfeHook(harness.Access(), 1);
        harness.Afe().ClearLog();
      } else {
        harness.Controller().WritePowerState(static_cast<std::uint8_t>(state));
      }
    }
    EXPECT_EQ(testing::Requests(harness.Afe().Log()), c.requests);
  });
}

constexpr ULONG kPower = afe::kAfePowerState;
constexpr ULONG kHook = afe::kAfeHook;
constexpr ULONG kResume = afe::kSoundResume;
constexpr ULONG kSuspend = afe::kSoundSuspend;

INSTANTIATE_TEST_SUITE_P(
    Sequences, PowerStates,
    ::testing::Values(
        PowerCase{"OpenResumesAndPowersUp", {0xD0}, {{kResume, 0}, {kPower, 0}}},
        PowerCase{"TheSameStateTwiceDoesNothing", {0xD0, 0xD0}, {{kResume, 0}, {kPower, 0}}},
        PowerCase{"CloseSuspendsAndPowersDown",
                  {0xD0, 0xD3},
                  {{kResume, 0}, {kPower, 0}, {kSuspend, 0}, {kPower, 3}}},
        PowerCase{"TheStartStateIsClosed", {0xD3}, {}},
        PowerCase{"LowPowerStates", {0xD1, 0xD2}, {{kPower, 1}, {kPower, 2}}},
        PowerCase{"OnlyAReturnFromClosedResumes", {0xD1, 0xD0}, {{kPower, 1}, {kPower, 0}}},
        PowerCase{"AHeldHookIsReleasedFirst",
                  {0xD0, kHookHeld, 0xD3},
                  {{kHook, 0}, {kSuspend, 0}, {kPower, 3}}},
        PowerCase{"OtherValuesAreIgnored", {0x00, 0xCF, 0xD4, 0xFF}, {}},
        PowerCase{"AnIgnoredValueKeepsThePreviousState",
                  {0xD0, 0x42, 0xD0},
                  {{kResume, 0}, {kPower, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump
