#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;
using Packets = std::vector<ReceivedPacket>;

TEST(Packets, TheVersionQueryAnswersItsWordsAndTheFrontEndsKind) {
  for (const ULONG kind : {6u, 4u}) {
    PumpHarness harness;
    harness.Run([&] {
      harness.Afe().SetControllerKind(kind);
      harness.Controller().Post(0x60, {0});  // refreshes the record copy
      EXPECT_EQ(harness.Controller().Exchange(0x94),
                (Packets{{kDpVersionInfo,
                          10,
                          {0x02, 0x00, 0x24, 0x00, 0x31, 0x00, 0x00, 0x00,
                           static_cast<std::uint8_t>(kind), 0x00}}}));
    });
  }
}

TEST(Packets, TheV34InfoOfMode18GivesTheCallingDirectionsRateFirst) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    context.call.mode = 18;
    context.call.direction = 1;
    context.transmit.rate_index = 12;
    context.receive.rate_index = 10;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 6, {0xB0, 0x02, 0, 11, 0, 0}}}))
        << "originating: w = 0x2B0";
    context.call.direction = 0;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 6, {0x28, 0x03, 0, 11, 0, 0}}}))
        << "answering: the receive rate is the calling direction's";

    // Flag bits in byte 1: 2 and 3 from the receive options, 4 from the
    // second one's bit 1 (or the transmit option byte), 6 once per renegotiation.
    context.receive.option_flags[0] = 1;
    context.receive.option_flags[1] = 3;
    context.transmit.renegotiation_seen = 1;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 6, {0x28, 0x03 | 0x04 | 0x08 | 0x10 | 0x40, 0, 11, 0, 0}}}));
    EXPECT_EQ(context.transmit.renegotiation_seen, 0u);
    context.receive.option_flags[1] = 0;
    context.transmit.option_selector = 1;
    context.transmit.option_byte = 0x02;
    context.v34_flag_byte = 0x03;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 6, {0x28, 0x03 | 0x04 | 0x10, 0, 11, 0, 0}}}));
  });
}

TEST(Packets, TheV34InfoOfPcmModesHasEightBytes) {
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    ReceiveArea& receive = context.receive;
    context.call.mode = 24;
    context.call.direction = 1;
    context.transmit.rate_index = 3;
    receive.rate_index = 5;
    receive.report_mse = 0x0456;
    receive.upstream_size_code = 0x1234;
    receive.downstream_rate_index = 5;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 8, {0x4C, 0x01, 0x56, 0x04, 0, 0, 0x34, 1}}}));
    receive.upstream_pcm = 1;
    receive.downstream_rate_index = 9;
    EXPECT_EQ(harness.Controller().Exchange(0x91),
              (Packets{{kDpV34Info, 8, {0x4C, 0x01, 0x01, 0x00, 0, 0, 0x34, 22}}}));
    receive.downstream_rate_index = 24;  // beyond the table
    EXPECT_EQ(harness.Controller().Exchange(0x91)[0].payload[7], 0);

    context.call.mode = 23;
    EXPECT_EQ(harness.Controller().Exchange(0x91)[0].length, 8) << "mode 23 without V.90";
    context.v90_call = 1;
    EXPECT_EQ(harness.Controller().Exchange(0x91)[0].length, 6) << "a V.90 call";
  });
}

TEST(Packets, ThePcmQueryClearsTheLowBitsOfTimingAndMse) {
  PumpHarness harness;
  harness.Run([&] {
    ReceiveArea& receive = harness.Context().receive;
    receive.report_status = 0x12345678;
    receive.report_timing = 0x0101;
    receive.report_mse = 0x0207;
    EXPECT_EQ(harness.Controller().Exchange(0x82),
              (Packets{{kDpPcmInfo, 8, {0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0x02}}}));
  });
}

TEST(Packets, NeverSentCodesHaveANameButNoBuilder) {
  const std::vector<std::uint8_t> never_sent = {0xC5, 0xC7, 0xC9, 0xCA, 0xCD, 0xCE,
                                                0xCF, 0xD0, 0xD2, 0xD3, 0xD7, 0xD8};
  for (int code = kDpNamedFirst; code <= kDpNamedLast; ++code) {
    const bool sent = std::count(std::begin(kSentDpCodes), std::end(kSentDpCodes), code) != 0;
    const bool listed = std::count(never_sent.begin(), never_sent.end(), code) != 0;
    EXPECT_NE(sent, listed) << "code 0x" << std::hex << code;
    EXPECT_FALSE(DpPacketName(static_cast<std::uint8_t>(code)).empty());
  }
}

TEST(Packets, TheNameTableHasTheErrorTextsWhereNoPacketIs) {
  struct Name {
    std::uint8_t code;
    const char* text;
  };
  const Name names[] = {{0xC0, "DP_ACK"},
                        {0xC5, "ERROR: invalid"},
                        {0xC7, "ERROR: DP_POWERUP_DIAGNOSTICS"},
                        {0xC9, "ERROR: DP_VOICE_VIEW"},
                        {0xCA, "ERROR: DP_SNAPSHOT"},
                        {0xCD, "DP_ADDRESS_LOC"},
                        {0xD0, "ERROR: DP_NVRAM_SEND_DATA"},
                        {0xD3, "ERROR: invalid"},
                        {0xD8, "CP_SPEAKER_DATA"},
                        {0xD9, "PACKET_DP_MODEM_CONNECT_RATE"},
                        {0xBF, "ERROR: invalid"},
                        {0xDA, "ERROR: invalid"}};
  for (const Name& name : names) EXPECT_EQ(DpPacketName(name.code), name.text);
}

TEST(Packets, BuildersLayOutTheirPayloadsLittleEndian) {
  const DpPacketBytes progress =
      BuildDpPacket(DpCallProgressPayload{kCallProgressBurstCadence, 0, 0x1234, 0x0005});
  EXPECT_EQ(std::vector<std::uint8_t>(progress.Payload().begin(), progress.Payload().end()),
            (std::vector<std::uint8_t>{1, 0, 0x34, 0x12, 0x05, 0x00}));
  EXPECT_EQ(progress.code, kDpCallProgressNotification);
  const DpPacketBytes header = BuildDpPacket(DpOverlayHeaderPayload{});
  EXPECT_EQ(std::vector<std::uint8_t>(header.Payload().begin(), header.Payload().end()),
            (std::vector<std::uint8_t>{1, 0, 0x30, 0x84, 0x1C, 0x07}));
  const std::vector<std::uint8_t> long_piece(20, 9);
  EXPECT_EQ(BuildOverlayPiece(long_piece).length, 16) << "a piece carries at most 16 bytes";
}

}  // namespace
}  // namespace pump
