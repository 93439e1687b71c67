// The commands that drive the framer, through the dispatcher of a started
// data pump: 0x61 picks the formats, options and characters (with the
// type-8 rule of a V.21 fax call), 0x8B restarts one side, and the reset
// keeps the ended call's byte counters.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pump/framer/framer.h"
#include "pump/framer/tests/bit_streams.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

struct FormatCase {
  const char* name;
  bool fax_v21;  // a fax call with V.21 channel 2 configured
  std::vector<std::uint8_t> payload;
  std::uint32_t tx_mode;
  std::uint32_t rx_type;
  std::array<std::uint8_t, 3> options;  // word length, stop bits, flag
  std::array<std::uint8_t, 3> chars;    // value, second, flag character
  std::uint8_t stop_when_empty;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

// Characters before the command: 0x61 of two bytes keeps them, but an HDLC
// mode takes the flag 0x7E.
constexpr std::array<std::uint8_t, 3> kEarlierChars = {0x11, 0x22, 0x33};

// clang-format off
const FormatCase kFormats[] = {
    {"FaxHdlcWaitsForTwoFlags", true, {2, 0x1B, 0x11, 0x7E, 0x55}, 2, 8, {3, 2, 1}, {0x55, 0x11, 0x7E}, 0},
    {"HdlcOutsideAFaxCall", false, {2, 0x1B, 0x11, 0x7E, 0x55}, 2, 2, {3, 2, 1}, {0x55, 0x11, 0x7E}, 0},
    {"FaxCallKeepsOtherTypes", true, {7, 0x00}, 7, 7, {0, 0, 0}, {0x11, 0x22, 0x7E}, 1},
    {"HdlcOfTwoBytesTakesTheFlag7E", false, {2, 0x01}, 2, 2, {1, 0, 0}, {0x11, 0x22, 0x7E}, 0},
    {"Asynchronous", false, {0, 0x15}, 0, 0, {1, 1, 1}, kEarlierChars, 0},
    {"MarksStopWhenEmpty", false, {5, 0x00}, 5, 5, {0, 0, 0}, kEarlierChars, 1},
    {"RawOctetsClearTheSecondCharacter", false, {1, 0x00, 0x44}, 1, 1, {0, 0, 0}, {0x00, 0x44, 0x00}, 0},
};
// clang-format on

class FramerCommands : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FramerCommands, DataFormatSetsBothSides) {
  const FormatCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    auto& controller = harness.Controller();
    if (c.fax_v21) {
      context.fax.modulation_kind = 3;
      context.call.fax_call = 1;
    }
    SetFramerChars(context, kEarlierChars[0], kEarlierChars[1], kEarlierChars[2]);
    context.framer.flag_status = 9;
    controller.FillTx(0, std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_EQ(controller.Exchange(0x61, c.payload),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x61}}}));
    const DataFramer& f = context.framer;
    EXPECT_EQ(f.tx_mode, c.tx_mode);
    EXPECT_EQ(f.rx_type, c.rx_type);
    EXPECT_EQ((std::array<std::uint8_t, 3>{f.word_length, f.stop_bits, f.option_flag}), c.options);
    EXPECT_EQ((std::array<std::uint8_t, 3>{f.value, f.second_character, f.flag_character}),
              c.chars);
    EXPECT_EQ(f.idle_word, f.second_character << 8 | f.flag_character);
    EXPECT_EQ(f.stop_when_empty, c.stop_when_empty);
    EXPECT_EQ(GetFlagStatus(context), 0u);
    EXPECT_EQ(harness.Host().comram.reg[kRegTxCount], 0) << "the mailboxes are cleared";
  });
}

INSTANTIATE_TEST_SUITE_P(Formats, FramerCommands, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// A raw-octet framer with codes waiting on both sides.
void FillBothSides(PumpHarness& harness) {
  DspContext& context = harness.Context();
  harness.Controller().Exchange(0x61, {kFramerRawOctets});
  FramerPutRxBits(context, 24, 0x030201);
  harness.Controller().FillTx(0, std::vector<std::uint8_t>{4, 5, 6, 7});
  FramerGetTxBits(context, 8);
  ASSERT_EQ(context.framer.rx_queue.count, 3);
  ASSERT_EQ(context.framer.tx_queue.count, 3);
}

TEST(FramerCommandsRestart, NonZeroRestartsTheReceiveSideAndZeroTheTransmitSide) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    FillBothSides(harness);
    EXPECT_EQ(harness.Controller().Exchange(0x8B, {1}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x8B}}}));
    EXPECT_EQ(context.framer.rx_queue.count, 0);
    EXPECT_EQ(context.framer.received_bytes, 0u);
    EXPECT_EQ(context.framer.rx_type, kFramerRawOctets);
    EXPECT_EQ(context.framer.tx_queue.count, 3);

    FillBothSides(harness);
    EXPECT_EQ(harness.Controller().Exchange(0x8B, {0}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x8B}}}));
    EXPECT_EQ(context.framer.tx_queue.count, 0);
    EXPECT_EQ(context.framer.tx_mode, kFramerRawOctets);
    EXPECT_EQ(context.framer.rx_queue.count, 3);
  });
}

// The counters of the ended call go to the previous-call block; the new
// call starts from 0 in asynchronous framing.
TEST(FramerCommandsReset, KeepsTheEndedCallsByteCounters) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    controller.Exchange(0x61, {kFramerRawOctets});
    for (std::uint32_t i = 0; i < 40; ++i) FramerPutRxBits(context, 8, i);
    FramerPutRxBits(context, 4, 0);
    harness.RunBlocks(1);  // the block handler flushes what waits
    EXPECT_EQ(controller.RxBlocks().size(), 2u);
    controller.Exchange(0x60, {0});
    EXPECT_EQ(context.previous_call.framer_received, 40u);
    EXPECT_EQ(context.previous_call.framer_delivered, 40u);
    EXPECT_EQ(context.framer.received_bytes, 0u);
    EXPECT_EQ(context.framer.delivered_bytes, 0u);
    EXPECT_EQ(context.framer.rx_type, kFramerAsync);
    EXPECT_EQ(context.framer.tx_mode, kFramerAsync);
  });
}

}  // namespace
}  // namespace pump
