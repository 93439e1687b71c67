// spandsp peers calling each other through the exchange over impaired lines:
// each data modem and framing dials, hears the answer tone, connects and
// moves 4 KiB each way without an error; each fax modem sends a page to
// phase E. And a pair straight on one line, with no exchange between them.
#include <gtest/gtest.h>

#include <random>

#include "platform/line/exchange/exchange.h"
#include "platform/line/peers/data_peer.h"
#include "platform/line/peers/fax_peer.h"
#include "platform/line/peers/spandsp_link.h"
#include "platform/line/peers/subscriber_loop.h"

namespace plat::line::peers {
namespace {

using exchange::EventKind;
using exchange::Exchange;
using exchange::ExchangeConfig;

constexpr std::size_t kBytes = 4096;

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 generator(seed);
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(generator());
  return bytes;
}

// Two subscribers on impaired lines and the exchange between them.
struct Office {
  Office() : a(SubscriberLoop(11)), b(SubscriberLoop(12)) {
    ExchangeConfig config;
    config.subscribers = {{.number = "5551001", .line = &a}, {.number = "5551002", .line = &b}};
    built = Exchange::Build(config);
  }
  // Runs both lines a second at a time until `done` or `seconds` pass.
  template <typename Done>
  void RunUntil(Done done, int seconds) {
    for (int s = 1; s <= seconds && !done(); ++s) a.RunUntil(LineSamplesInMs(1000 * s));
  }
  Line a, b;
  Exchange::Built built;
};

struct DataCase {
  const char* name;
  DataModem modem;
  int bit_rate;
  DataFraming framing;
  int slower_rate;  // the slower direction's bit rate
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << c.name; }

class SpandspPeersData : public ::testing::TestWithParam<DataCase> {};

TEST_P(SpandspPeersData, DialAnswerConnectAndCarryDataEachWay) {
  const DataCase& c = GetParam();
  Office office;
  ASSERT_TRUE(office.built.ok()) << office.built.error;
  const auto a_sends = RandomBytes(kBytes, 1), b_sends = RandomBytes(kBytes, 2);
  // 10 bits a byte on the slower channel, with room to spare.
  const auto within =
      static_cast<std::uint32_t>(kBytes * 10 * 1000 / c.slower_rate * 3 / 2 + 20'000);
  DataPeer a(office.a, Side::kA,
             {.modem = c.modem, .bit_rate = c.bit_rate, .framing = c.framing,
              .start = {.role = CallStart::Role::kOriginate, .number = "5551002"},
              .script = ByteScript().Send(a_sends).Expect(b_sends, within)});
  DataPeer b(office.b, Side::kA,
             {.modem = c.modem, .bit_rate = c.bit_rate, .framing = c.framing,
              .start = {.rings = 2},
              .script = ByteScript().Send(b_sends).Expect(a_sends, within)});
  office.RunUntil([&] { return (a.done() && b.done()) || a.failed() || b.failed(); },
                  static_cast<int>(within / 1000) + 30);
  EXPECT_TRUE(a.done()) << a.report().failure << a.script().failure();
  EXPECT_TRUE(b.done()) << b.report().failure << b.script().failure();
  const exchange::EventLog& log = office.built.exchange->log();
  const auto answer = log.Of(1, EventKind::kAnswer);
  ASSERT_EQ(answer.size(), 1u) << log.Text();
  EXPECT_EQ(log.Of(0, EventKind::kNumber)[0].detail, "5551002");
  // B answered at its second ring; A heard the answer tone and then connected.
  EXPECT_EQ(log.Of(1, EventKind::kRing).size(), 4u);
  EXPECT_GT(a.report().answer_tone_at, answer[0].at);
  EXPECT_GT(a.report().connected_at, a.report().answer_tone_at);
  EXPECT_GT(b.report().connected_at, b.report().answer_tone_at);
}

INSTANTIATE_TEST_SUITE_P(
    Modems, SpandspPeersData,
    ::testing::Values(DataCase{"V21", DataModem::kV21, 300, DataFraming::kAsync8N1, 300},
                      // V.23: the answerer sends at 1200 bit/s, the originator at 75.
                      DataCase{"V23", DataModem::kV23, 1200, DataFraming::kAsync8N1, 75},
                      DataCase{"Bell103", DataModem::kBell103, 300, DataFraming::kAsync8N1, 300},
                      DataCase{"V22bis1200", DataModem::kV22bis, 1200, DataFraming::kAsync8N1, 1200},
                      DataCase{"V22bis2400", DataModem::kV22bis, 2400, DataFraming::kAsync8N1, 2400},
                      DataCase{"V22bis1200V42", DataModem::kV22bis, 1200, DataFraming::kV42, 1200},
                      DataCase{"V22bis2400V42", DataModem::kV22bis, 2400, DataFraming::kV42, 2400}),
    [](const ::testing::TestParamInfo<DataCase>& info) { return std::string(info.param.name); });

struct FaxCase {
  const char* name;
  FaxModem modem;
  int bit_rate;
};

void PrintTo(const FaxCase& c, std::ostream* os) { *os << c.name; }

class SpandspPeersFax : public ::testing::TestWithParam<FaxCase> {};

TEST_P(SpandspPeersFax, APageReachesPhaseE) {
  const FaxCase& c = GetParam();
  Office office;
  ASSERT_TRUE(office.built.ok()) << office.built.error;
  const std::string page = ::testing::TempDir() + "/page_" + c.name + ".tif";
  const std::string received = ::testing::TempDir() + "/received_" + c.name + ".tif";
  ASSERT_EQ(WriteFaxPage(page, 64), "");
  FaxPeer a(office.a, Side::kA,
            {.start = {.role = CallStart::Role::kOriginate, .number = "5551002"},
             .modem = c.modem,
             .send_file = page});
  FaxPeer b(office.b, Side::kA, {.start = {.rings = 1}, .modem = c.modem, .receive_file = received});
  office.RunUntil([&] { return a.report().phase_e && b.report().phase_e; }, 60);
  for (const FaxPeer* peer : {&a, &b}) {
    EXPECT_TRUE(peer->report().phase_e);
    EXPECT_EQ(peer->report().completion, T30_ERR_OK) << peer->report().completion_text;
    EXPECT_EQ(peer->report().pages, 1);
    EXPECT_EQ(peer->report().bit_rate, c.bit_rate);
  }
  // The page arrived whole: one page of 1728 pixels by 64 rows.
  TIFF* tiff = TIFFOpen(received.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint32_t width = 0, rows = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows);
  EXPECT_EQ(TIFFNumberOfDirectories(tiff), 1);
  TIFFClose(tiff);
  EXPECT_EQ(width, 1728u);
  EXPECT_EQ(rows, 64u);
}

INSTANTIATE_TEST_SUITE_P(Modems, SpandspPeersFax,
                         ::testing::Values(FaxCase{"V27ter", FaxModem::kV27ter, 4800},
                                           FaxCase{"V29", FaxModem::kV29, 9600},
                                           FaxCase{"V17", FaxModem::kV17, 14400}),
                         [](const ::testing::TestParamInfo<FaxCase>& info) {
                           return std::string(info.param.name);
                         });

// Without an exchange: the originator rings the far end itself, the answerer
// answers its first ring, and V.22bis carries data both ways.
TEST(SpandspPeers, StraightOnOneLine) {
  Line line(SubscriberLoop(5));
  const auto a_sends = RandomBytes(512, 3), b_sends = RandomBytes(512, 4);
  DataPeer a(line, Side::kA,
             {.start = {.role = CallStart::Role::kOriginate, .ring_far_end = true},
              .script = ByteScript().Send(a_sends).Expect(b_sends, 20'000)});
  DataPeer b(line, Side::kB,
             {.start = {.rings = 1}, .script = ByteScript().Send(b_sends).Expect(a_sends, 20'000)});
  for (int s = 1; s <= 40 && !(a.done() && b.done()); ++s) line.RunUntil(LineSamplesInMs(1000 * s));
  EXPECT_TRUE(a.done()) << a.report().failure << a.script().failure();
  EXPECT_TRUE(b.done()) << b.report().failure << b.script().failure();
  EXPECT_FALSE(line.Conditions(Side::kB, b.report().connected_at).ringing);
}

}  // namespace
}  // namespace plat::line::peers
