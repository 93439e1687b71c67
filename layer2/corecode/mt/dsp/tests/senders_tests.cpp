// Several controller threads send at once while the data pump's block
// thread posts: every command reaches the data pump once with its own
// payload and its own answer comes back; sends that no answer can reach
// are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/ke/irql.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kEchoNow = 0x64;    // echoed at the doorbell
constexpr std::uint8_t kEchoLater = 0x6B;  // echoed by the next block
constexpr std::uint8_t kAckLater = 0x63;   // acknowledged by the next block
constexpr std::uint8_t kAckNow = 0x62;
constexpr std::uint8_t kCodes[] = {kEchoNow, kEchoLater, kAckLater, kAckNow};

struct Sent {
  std::uint8_t code;
  Bytes payload;  // as the data pump must take it: rounded up with zeros
  DspAnswer answer;
  std::uint32_t result;
};

TEST(DspSenders, EachCommandIsTakenAndAnsweredOnceWithItsOwnPayload) {
  constexpr int kSenders = 3;
  constexpr int kPerSender = 24;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump.Script(kEchoLater, FakeAnswer::Echo().Later());
      pump.Script(kAckLater, FakeAnswer::Ack().Later());
      std::vector<std::vector<Sent>> sent(kSenders);
      int senders_done = 0;
      std::vector<RigThread> threads;
      for (int s = 0; s < kSenders; ++s) {
        threads.push_back(
            {static_cast<KPRIORITY>(8 + 8 * s), [&, s] {
               std::mt19937 random(seed * 101 + s);
               for (int n = 0; n < kPerSender; ++n) {
                 const std::uint8_t code = kCodes[random() % 4];
                 // Sender and number first, then filler.
                 Bytes payload = {static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(n)};
                 payload.resize(2 + random() % 15, static_cast<std::uint8_t>(random()));
                 Sent one{code, payload, {}, 0};
                 one.result = dsp_send_packet(DspCommand::Ack(code, payload), &one.answer);
                 one.payload.resize(payload.size() + payload.size() % 2, 0);
                 sent[s].push_back(one);
                 SleepMs(random() % 3);
               }
               ++senders_done;
             }});
      }
      // The block thread, posting events of its own between the answers.
      threads.push_back({28, [&] {
                           std::mt19937 random(seed);
                           while (senders_done < kSenders) {
                             if (random() % 3 == 0) {
                               pump.PostAtNextBlock(0xD9, {static_cast<std::uint8_t>(random()), 0});
                             }
                             if (random() % 3 == 0) pump.PostAtNextBlock(0xC0, {0x9A});
                             pump.Block();
                             SleepMs(1 + random() % 4);
                           }
                         }});
      RunThreads(threads);

      // Each command taken once, whole.
      std::map<std::pair<int, int>, int> taken;
      for (const FakePacket& command : pump.Commands()) {
        ASSERT_GE(command.payload.size(), 2u);
        const auto key = std::pair{command.payload[0], command.payload[1]};
        const Sent& one = sent.at(key.first).at(key.second);
        EXPECT_EQ(command.code, one.code);
        EXPECT_EQ(command.payload, one.payload);
        ++taken[key];
      }
      EXPECT_EQ(taken.size(), static_cast<std::size_t>(kSenders * kPerSender));
      for (const auto& [key, times] : taken) EXPECT_EQ(times, 1);
      // Each send answered by its own answer.
      for (const std::vector<Sent>& mine : sent) {
        for (const Sent& one : mine) {
          EXPECT_EQ(one.result, kDspSent);
          const bool echoed = one.code == kEchoNow || one.code == kEchoLater;
          EXPECT_EQ(one.answer.code, echoed ? one.code : 0xC0);
          if (echoed) {
            EXPECT_TRUE(
                std::equal(one.payload.begin(), one.payload.end(), one.answer.reply.begin()));
          }
        }
      }
      EXPECT_EQ(MachineState<DspTransportState>().refusals, 0u);
    });
  }
}

TEST(DspSenders, SendsNoAnswerCanReachAreRefused) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    std::vector<std::uint32_t> from_callback;
    MachineState<RigCallbackState>().after_dispatch = [&](std::uint8_t code) {
      if (code == 0xD1 || code == 0xC0)
        from_callback.push_back(dsp_send_packet(DspCommand::Ack(0x62)));
    };
    // Inside the callback on the data pump's block thread.
    pump.PostAtNextBlock(0xD1, {1, 0, 0, 0, 0, 0});
    RunThreads({{28, [&] { pump.Block(); }}});
    // Inside the callback inside this thread's own send.
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x63)), kDspSent);
    MachineState<RigCallbackState>().after_dispatch = nullptr;
    // Above PASSIVE_LEVEL.
    KIRQL old = PASSIVE_LEVEL;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    const std::uint32_t raised = dsp_send_packet(DspCommand::Ack(0x62));
    KeLowerIrql(old);

    EXPECT_EQ(from_callback, std::vector<std::uint32_t>({kDspRefused, kDspRefused}));
    EXPECT_EQ(raised, kDspRefused);
    EXPECT_EQ(MachineState<DspTransportState>().refusals, 3u);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 3u);
    ASSERT_EQ(pump.Commands().size(), 1u);  // only 0x63 was written
    EXPECT_EQ(pump.Commands()[0].code, 0x63);
    EXPECT_EQ(MachineState<DspTransportState>().failed.code, 0);
    // The refusals left the link as it was: a send from here goes through.
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x62)), kDspSent);
  });
}

}  // namespace
}  // namespace vxctl::testing
