// Reads and writes of the data pump's items: the packet each space, key and
// word count gives, and what a reply, an echo or no answer leaves in
// DspReply.
#include <gtest/gtest.h>

#include <vector>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kWords[] = {0x0201, 0x0403, 0x0605, 0x0807, 0x0A09,
                                    0x0C0B, 0x0E0D, 0x100F, 0x1211};

// The bytes of the first n words of kWords, low byte first.
Bytes WordBytes(std::size_t n) {
  Bytes bytes;
  for (std::size_t i = 0; i < n; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(kWords[i]));
    bytes.push_back(static_cast<std::uint8_t>(kWords[i] >> 8));
  }
  return bytes;
}

Bytes Join(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(DspMemPackets, SpaceKeyAndWordCountGiveTheCommandAndItsBytes) {
  struct Row {
    const char* what;
    DspAddress address;
    bool write;
    std::size_t words;
    std::uint8_t code;  // 0: nothing sent
    Bytes payload;
  };
  const std::vector<Row> rows = {
      {"parameter read", {0x1234, 0}, false, 0, 10, {0x34, 0x12, 0, 0}},
      {"parameter read above 0x10000", {0x10234, 0}, false, 0, 11, {0x34, 0x02, 0, 0}},
      {"memory read", {0x180E, 1}, false, 0, 9, {0x0E, 0x18, 0, 0}},
      {"memory read, page 1", {0x8430, 1}, false, 0, 9, {0x30, 0x84, 0x20, 0}},
      {"memory read, page 7", {0x3C123, 1}, false, 0, 9, {0x23, 0xC1, 0xE0, 0}},
      {"parameter write of 9 words", {0x1234, 0}, true, 9, 13, Join({0x34, 0x12}, WordBytes(7))},
      {"parameter write above 0x10000",
       {0x10234, 0},
       true,
       2,
       14,
       Join({0x34, 0x02}, WordBytes(2))},
      {"memory write of 9 words", {0x180E, 1}, true, 9, 12, Join({0x0E, 0x18, 0, 0}, WordBytes(6))},
      {"memory write, page 1", {0x8430, 1}, true, 1, 12, Join({0x30, 0x84, 0x20, 0}, WordBytes(1))},
      {"read of key 0", {0, 1}, false, 0, 0, {}},
      {"write of key 0", {0, 0}, true, 3, 0, {}},
      {"read of space 2", {0x180E, 2}, false, 0, 0, {}},
      {"write of space 2", {0x180E, 2}, true, 3, 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump.Script(9, FakeAnswer::Reply(0x14, {1}));
      pump.Script(10, FakeAnswer::Reply(0x15, {1}));
      pump.Script(11, FakeAnswer::Reply(0x15, {1}));
      if (row.write) {
        dsp_mem_write(row.address, std::span(kWords, row.words));
      } else {
        dsp_mem_read(row.address);
      }
      if (row.code == 0) {
        EXPECT_TRUE(pump.Commands().empty());
        return;
      }
      ASSERT_EQ(pump.Commands().size(), 1u);
      const FakePacket& sent = pump.Commands()[0];
      EXPECT_EQ(sent.code, row.code);
      EXPECT_EQ(sent.length, row.payload.size());
      EXPECT_EQ(Bytes(sent.payload.begin(), sent.payload.begin() + row.payload.size()),
                row.payload);
    });
  }
}

TEST(DspMemReplies, OnlyTheReplyGivesDataAnEchoOrSilenceReadsAsZeros) {
  struct Row {
    const char* what;
    FakeAnswer answer;
    bool data;
  };
  const Bytes reply = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                       0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x0F};
  const std::vector<Row> rows = {
      {"the memory reply", FakeAnswer::Reply(0x14, reply), true},
      {"the reply a little later", FakeAnswer::Reply(0x14, reply).Later(), true},
      {"an echo", FakeAnswer::Echo(), false},
      {"no answer", FakeAnswer::None(), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      pump.Script(9, row.answer);
      // A reply of an earlier read is not taken for this one's.
      MachineState<DspTransportState>().reply.fill(0x5A);
      RigThread block{28, [&] {
                        for (int i = 0; i < 3; ++i) {
                          SleepMs(2);
                          pump.Block();
                        }
                      }};
      bool data = false;
      RunThreads({{16, [&] { data = dsp_mem_read({0x180E, kDspSpaceMemory}); }}, block});
      EXPECT_EQ(data, row.data);
      const DspReply& held = MachineState<DspTransportState>().reply;
      EXPECT_EQ(Bytes(held.begin(), held.end()), row.data ? reply : Bytes(16, 0));
    });
  }
}

TEST(DspMemReplies, TheRealDataPumpReadsBackWhatWasWrittenAndKeysItCannotAnswerGiveNoData) {
  RunOnVxdsp([] {
    const std::uint16_t words[] = {0x1234, 0xBEEF};
    struct Row {
      const char* what;
      DspAddress address;
      bool answered;
      Bytes first;  // the reply's first bytes: the words the key holds
    };
    const Row rows[] = {
        {"memory 0x180E", {0x180E, kDspSpaceMemory}, true, {0x34, 0x12, 0xEF, 0xBE}},
        {"parameter 0x10234, one word", {0x10234, kDspSpaceParameters}, true, {0x34, 0x12, 0, 0}},
        {"memory 0x441, not held", {0x441, kDspSpaceMemory}, false, Bytes(4, 0)},
        {"memory 0x8430, larger than a reply", {0x8430, kDspSpaceMemory}, false, Bytes(4, 0)},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      if (row.answered) {
        EXPECT_EQ(dsp_mem_write(row.address, words), kDspSent);
      }
      EXPECT_EQ(dsp_mem_read(row.address), row.answered);
      const DspReply& reply = MachineState<DspTransportState>().reply;
      EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), row.first);
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
