// Sending a command: what reaches registers 64-83, which answers end the
// wait, and what a send does when the data pump does not take or answer.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;
constexpr std::uint64_t kMs = 1'000'000;

std::uint64_t Now() { return plat::ke::CurrentKernel().Now(); }

DspTransportState& Transport() { return MachineState<DspTransportState>(); }

// Registers 65-83 as a send finds them when nothing wrote them.
void MarkPacketArea(FakeDataPump& pump) {
  std::fill(&pump.Page().reg[pump::kRegCpPacket + 1], &pump.Page().reg[pump::kRegTxMailbox],
            kUntouched);
}

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(0x31 + i);
  return bytes;
}

TEST(DspPacketSend, WritesTheRoundedLengthAndNothingBeyondIt) {
  struct Case {
    std::size_t given;     // payload bytes given
    int length;            // the length byte asked for, -1: the bytes given
    std::uint8_t written;  // register 66
  };
  const std::vector<Case> cases = {
      {0, -1, 0},   {1, -1, 2},   {2, -1, 2},   {3, -1, 4},
      {15, -1, 16}, {16, -1, 16}, {17, -1, 16},  // cut to the 16 a packet carries
      {2, 4, 4},                                 // zeros after the bytes given
      {2, 5, 6},    {2, 40, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("given " + std::to_string(c.given) + " length " + std::to_string(c.length));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      MarkPacketArea(pump);
      const std::vector<std::uint8_t> bytes = Counting(c.given);
      DspCommand command = DspCommand::Ack(0x62, bytes);
      if (c.length >= 0) command.Length(static_cast<std::uint8_t>(c.length));
      EXPECT_EQ(dsp_send_packet(command), kDspSent);

      ASSERT_EQ(pump.Doorbells().size(), 1u);
      const pump::Comram& page = pump.Doorbells()[0].page;
      EXPECT_EQ(page.reg[64], 0x62);
      EXPECT_EQ(page.reg[65], 0);
      EXPECT_EQ(page.reg[66], c.written);
      EXPECT_EQ(page.reg[67], 0);
      for (int i = 0; i < 16; ++i) {
        const std::uint8_t expected = i >= c.written                  ? kUntouched
                                      : i < static_cast<int>(c.given) ? bytes[i]
                                                                      : 0;
        EXPECT_EQ(page.reg[68 + i], expected) << "payload byte " << i;
      }
      ASSERT_EQ(pump.Commands().size(), 1u);
      EXPECT_EQ(pump.Commands()[0].length, c.written);
    });
  }
}

TEST(DspPacketSend, BytesBeyondTheLengthNeverGoOut) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    MarkPacketArea(pump);
    DspCommand command;  // filled by hand, with bytes beyond its length
    command.packet.code = 0x62;
    command.packet.length = 3;
    std::fill(std::begin(command.packet.payload), std::end(command.packet.payload), 0xFF);
    EXPECT_EQ(dsp_send_packet(command), kDspSent);
    const pump::Comram& page = pump.Doorbells().at(0).page;
    EXPECT_EQ(std::vector<std::uint8_t>(&page.reg[66], &page.reg[74]),
              std::vector<std::uint8_t>({4, 0, 0xFF, 0xFF, 0xFF, 0, kUntouched, kUntouched}));
  });
}

TEST(DspPacketSend, AnswersMatchedByCode) {
  struct Case {
    const char* name;
    DspCommand command;
    FakeAnswer answer;
    std::uint32_t result;
    std::uint8_t ending;  // the code that ended the wait
    DspReply reply;       // DspReply afterwards
  };
  const std::vector<std::uint8_t> key_0x441 = {0x41, 0x04, 0x00, 0x00};
  const std::vector<Case> cases = {
      {"ack", DspCommand::Ack(0x62, {1, 2}), FakeAnswer::Ack(), kDspSent, 0xC0, {}},
      {"ack wait, echo", DspCommand::Ack(0x64, {1, 2}), FakeAnswer::Echo(), kDspSent, 0x64, {1, 2}},
      {"ack wait, silence", DspCommand::Ack(0x62), FakeAnswer::None(), kDspNoAnswer, 0, {}},
      {"ack wait, a reply",
       DspCommand::Ack(0x70),
       FakeAnswer::Reply(0xC1, {5}),
       kDspNoAnswer,
       0,
       {}},
      {"reply", DspCommand::Query(0x70, 0xC1), FakeAnswer::Reply(0xC1, {5}), kDspSent, 0xC1, {5}},
      {"reply wait, echo",
       DspCommand::Query(9, 0x14, key_0x441),
       FakeAnswer::Echo(),
       kDspSent,
       9,
       {0x41, 0x04}},
      {"reply wait, DP_ACK", DspCommand::Query(0x70, 0xC1), FakeAnswer::Ack(), kDspNoAnswer, 0, {}},
      {"reply wait, another reply",
       DspCommand::Query(0x70, 0xC1),
       FakeAnswer::Reply(0xC2, {3}),
       kDspNoAnswer,
       0,
       {}},
      {"no wait", DspCommand::NoWait(12, {1, 2, 3, 4}), FakeAnswer::None(), kDspSent, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump.Script(c.command.packet.code, c.answer);
      DspAnswer answer;
      const std::uint64_t start = Now();
      EXPECT_EQ(dsp_send_packet(c.command, &answer), c.result);
      EXPECT_EQ(pump.Commands().size(), 1u);
      EXPECT_EQ(Transport().ending_code, c.ending);
      EXPECT_EQ(Transport().reply, c.reply);
      if (c.result == kDspSent) {
        EXPECT_EQ(answer.code, c.ending);
        EXPECT_EQ(answer.reply, c.reply);
        EXPECT_EQ(Now(), start) << "an answer at the doorbell ends the wait at its first look";
        EXPECT_EQ(Transport().failed.code, 0);
      } else {
        EXPECT_GE(Now() - start, kDspSendAttempts * 20 * kMs);
        EXPECT_EQ(Transport().failed.code, c.command.packet.code);
        EXPECT_EQ(MachineState<AssertLog>().Total(), 1u);
      }
    });
  }
}

TEST(DspPacketSend, RegisterHeldKeepsTheFirstFailedPacket) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    MarkPacketArea(pump);
    pump.Page().reg[pump::kRegCpPacket] = 0x77;  // a command the data pump never took
    const std::uint64_t start = Now();
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x62, {1, 2, 3})), kDspAreaBusy);
    EXPECT_GE(Now() - start, kDspSendAttempts * 20 * kMs);
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x63, {9})), kDspAreaBusy);

    EXPECT_TRUE(pump.Doorbells().empty());
    EXPECT_EQ(pump.Page().reg[pump::kRegCpPacket], 0x77);
    EXPECT_EQ(pump.Page().reg[pump::kRegCpPacketLength], kUntouched);
    const pump::DspPacket& failed = Transport().failed;
    EXPECT_EQ(failed.code, 0x62);
    EXPECT_EQ(failed.length, 4);
    EXPECT_EQ(std::vector<std::uint8_t>(failed.payload, failed.payload + 5),
              std::vector<std::uint8_t>({1, 2, 3, 0, 0}));
  });
}

TEST(DspPacketSend, BeforeBindingASendFailsAtOnce) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    pump.Unbind();
    const std::uint64_t start = Now();
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x62)), kDspAreaBusy);
    EXPECT_EQ(Now(), start);
    EXPECT_EQ(Transport().failed.code, 0x62);
  });
}

TEST(DspPacketSend, AFailedSendLeavesNothingToAShorterOne) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    pump.Script(0x61, FakeAnswer::None());
    const std::vector<std::uint8_t> full(16, 0xAA);
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x61, full)), kDspNoAnswer);
    // Four bytes announced, two given: the other two go as zeros.
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x62, {1, 2}).Length(4)), kDspSent);
    ASSERT_EQ(pump.Commands().size(), 2u);
    EXPECT_EQ(pump.Commands()[1], (FakePacket{0x62, 4, {1, 2, 0, 0}}));
    EXPECT_EQ(Transport().failed.code, 0x61);
  });
}

TEST(DspPacketSend, UnrelatedPacketsDuringAWaitEndNothing) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    // Queued for the next block ahead of the answer: a DP_ACK for another
    // command, another reply, and an event with an effect of its own.
    pump.PostAtNextBlock(0xC0, {0x99});
    pump.PostAtNextBlock(0xC2, {3});
    pump.PostAtNextBlock(0xD9, {0x40, 0x12});
    pump.Script(0x70, FakeAnswer::Reply(0xC1, {7}).Later());
    std::uint32_t result = 0xFF;
    DspAnswer answer;
    std::uint64_t answered_after = 0;
    RunThreads({{16,
                 [&] {
                   const std::uint64_t start = Now();
                   result = dsp_send_packet(DspCommand::Query(0x70, 0xC1), &answer);
                   answered_after = Now() - start;
                 }},
                {28, [&] {
                   SleepMs(5);
                   pump.Block();
                 }}});
    EXPECT_EQ(result, kDspSent);
    EXPECT_EQ(answer.code, 0xC1);
    EXPECT_EQ(answer.reply, (DspReply{7}));
    EXPECT_EQ(Transport().reply, (DspReply{7}));
    EXPECT_EQ(MachineState<RetrainState>().peer_rate_word, 0x1240);
    EXPECT_GE(answered_after, 5 * kMs);
    EXPECT_LT(answered_after, 7 * kMs);
    EXPECT_EQ(pump.Posted().size(), 4u);
  });
}

TEST(DspPacketSend, TheTenMillisecondTickShortensAttempts) {
  for (bool ticking : {false, true}) {
    SCOPED_TRACE(ticking ? "ticking" : "no tick");
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump.Script(0x62, FakeAnswer::None());
      std::atomic<bool> done{false};
      std::uint64_t took = 0;
      RunThreads({{16,
                   [&] {
                     const std::uint64_t start = Now();
                     EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x62)), kDspNoAnswer);
                     took = Now() - start;
                     done = true;
                   }},
                  {20, [&] {
                     while (ticking && !done) {
                       SleepMs(10);
                       dsp_attempt_tick();
                     }
                   }}});
      if (ticking) {
        EXPECT_LE(took, kDspSendAttempts * 12 * kMs);
      } else {
        EXPECT_GE(took, kDspSendAttempts * 20 * kMs);
      }
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
