// The #UD report as the application reads it through the real DTE
// interface and port, with a scripted data pump answering the version
// query of the reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/acu/tests/response_testing.h"
#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

namespace vxctl::testing {
namespace {

// Runs `body` with the port open and a scripted data pump bound.
void WithReportRig(const std::function<void()>& body) {
  RunResponses([&] {
    SetFraming(13, 10, true);
    FakeDataPump pump(RigCallback);
    pump.Bind();
    body();
    pump.Unbind();
  });
}

// The report's lines without the opening line end; each must end in CR LF.
std::vector<std::string> ReportLines() {
  stats_print_diag();
  const std::string text = AppRead();
  EXPECT_EQ(text.substr(0, 2), "\r\n");
  std::vector<std::string> lines;
  std::size_t at = 2;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << text.substr(at);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string KeyOfLine(const std::string& line) {
  return line.substr(std::string("DIAG <2A4D3263 ").size(), 2);
}

std::vector<std::string> KeysOf(const std::vector<std::string>& lines) {
  std::vector<std::string> keys;
  for (const std::string& line : lines) keys.push_back(KeyOfLine(line));
  return keys;
}

TEST(StatsReport, RightAfterAResetOnlyTheAlwaysAndEveryPhaseKeys) {
  WithReportRig([] {
    stats_reset();
    const std::vector<std::string> expected = {
        "DIAG <2A4D3263 00=10>",        "DIAG <2A4D3263 01=00>",
        "DIAG <2A4D3263 02=00>",        "DIAG <2A4D3263 03=00>",
        "DIAG <2A4D3263 50=2>",         "DIAG <2A4D3263 51=2>",
        "DIAG <2A4D3263 60=01>",        "DIAG <2A4D3263 A0=00000465>",
        "DIAG <2A4D3263 A1=\"4.65\">",  "DIAG <2A4D3263 A2=\"2.36.49.0\">",
        "DIAG <2A4D3263 AF=0070>",      "DIAG <2A4D3263 B0=0002>",
        "DIAG <2A4D3263 B1=0007>",      "DIAG <2A4D3263 B2=\"\">",
        "DIAG <2A4D3263 B3=\"\">",      "DIAG <2A4D3263 C0=00B5>",  // T.35 181: the USA
        "DIAG <2A4D3263 C1=0001>",      "DIAG <2A4D3263 D0=00000000>",
        "DIAG <2A4D3263 FE=\"Vexor_Corp.\">", "DIAG <2A4D3263 FF=\"K48\">",
    };
    EXPECT_EQ(ReportLines(), expected);
    EXPECT_EQ(stats_block().mask_copy.load(), kStatsPhaseReset);
  });
}

TEST(StatsReport, FlowSettingsPrintAsDigitsAndAreStoredAsThem) {
  WithReportRig([] {
    MachineState<CommandInterpreterStandin>().tx_flow = 2;
    MachineState<CommandInterpreterStandin>().rx_flow = 0;
    stats_reset();
    EXPECT_EQ(stats_block().Value(0x50).load(), 2u);
    const std::vector<std::string> lines = ReportLines();
    EXPECT_EQ(lines.at(4), "DIAG <2A4D3263 50=2>");
    EXPECT_EQ(lines.at(5), "DIAG <2A4D3263 51=0>");
    EXPECT_EQ(stats_block().Value(0x50).load(), 0x32u);
    EXPECT_EQ(stats_block().Value(0x51).load(), 0x30u);
  });
}

TEST(StatsReport, ErrorControlKeysOnlyWithMaskBit1) {
  WithReportRig([] {
    stats_reset();
    stats_block().output_mask = kStatsPhaseConnected;
    const std::vector<std::string> connected = KeysOf(ReportLines());
    const std::vector<std::string> expected_connected = {
        "00", "01", "02", "03", "04", "05", "10", "11", "12", "13", "14", "15", "16",
        "17", "18", "20", "21", "22", "23", "24", "25", "26", "27", "30", "31", "32",
        "33", "34", "35", "40", "50", "51", "52", "53", "54", "55", "60", "A0", "A1",
        "A2", "AF", "B0", "B1", "B2", "B3", "C0", "C1", "D0", "FE", "FF"};
    EXPECT_EQ(connected, expected_connected);

    stats_block().output_mask = kStatsPhaseConnected | kStatsErrorControl;
    const std::vector<std::string> with_ec = KeysOf(ReportLines());
    std::vector<std::string> expected = expected_connected;
    expected.insert(expected.begin() + 30, {"41", "42", "43", "44", "45"});
    expected.insert(expected.begin() + 41, {"56", "57", "58", "59"});
    EXPECT_EQ(with_ec, expected);

    // Dropped: the counters (class 0xC0) and the line keys (0xE0) stay,
    // the frame errors (0x42) go.
    stats_block().output_mask = kStatsPhaseDropped;
    const std::vector<std::string> dropped = KeysOf(ReportLines());
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), "52"), 1);
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), "59"), 0);  // class 0x42
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), "10"), 1);  // 0xE0 has bit 7
  });
}

TEST(StatsReport, EachKindOfValueExactly) {
  WithReportRig([] {
    stats_reset();
    ModemStatisticsBlock& block = stats_block();
    block.output_mask = kStatsPhaseConnected | kStatsErrorControl;
    block.Value(0x10) = 0xFFFFFF80;  // byte
    block.Value(0x22) = 0x12345;     // 16-bit
    block.Value(0x52) = 0xDEADBEEF;  // 32-bit
    const std::uint8_t menu[] = {0xE0, 0x01, 0xAB, 0x0F};
    stats_hex_octets(block.cm_text, menu);  // quoted text
    const std::vector<std::string> lines = ReportLines();
    auto line = [&](const std::string& key) {
      for (const std::string& l : lines) {
        if (KeyOfLine(l) == key) return l;
      }
      return std::string("none");
    };
    EXPECT_EQ(line("10"), "DIAG <2A4D3263 10=80>");
    EXPECT_EQ(line("22"), "DIAG <2A4D3263 22=2345>");
    EXPECT_EQ(line("52"), "DIAG <2A4D3263 52=DEADBEEF>");
    EXPECT_EQ(line("04"), "DIAG <2A4D3263 04=\"E001AB0F\">");
    EXPECT_EQ(line("05"), "DIAG <2A4D3263 05=\"\">");
    EXPECT_EQ(line("FE"), "DIAG <2A4D3263 FE=\"Vexor_Corp.\">");  // text as stored
  });
}

TEST(StatsVersion, ModelTextAndVersionFollowTheVersionBlock) {
  // The version block: four words (1, 2, 3, 10000), then the kind.
  for (const std::uint16_t kind : {0, 1, 4, 8, 9, 0xFFFF}) {
    RunResponses([&] {
      FakeDataPump pump(RigCallback);
      pump.Bind();
      pump.Script(0x94, FakeAnswer::Reply(0xCB, {1, 0, 2, 0, 3, 0, 0x10, 0x27,
                                                 static_cast<std::uint8_t>(kind),
                                                 static_cast<std::uint8_t>(kind >> 8)}));
      stats_reset();
      EXPECT_STREQ(stats_block().Entry(0xA2).text.load(), "\"1.2.3.10000\"");
      EXPECT_EQ(stats_block().hardware_kind.load(), kind);
      EXPECT_STREQ(stats_block().Entry(0xFF).text.load(), "\"K48\"") << kind;
      // Without a reply: two double quotes.
      pump.Script(0x94, FakeAnswer::Echo());
      stats_reset();
      EXPECT_STREQ(stats_block().Entry(0xA2).text.load(), "\"\"");
      EXPECT_STREQ(stats_block().Entry(0xFF).text.load(), "\"K48\"");
      pump.Unbind();
    });
  }
}

TEST(StatsReport, HexOctetsAreCutToTheirBuffer) {
  std::vector<std::uint8_t> octets(40, 0x5A);
  char text[kStatsV8TextBytes];
  std::fill(std::begin(text), std::end(text), '#');
  stats_hex_octets(text, octets);
  std::string expected;
  for (int i = 0; i < 32; ++i) expected += "5A";
  EXPECT_EQ(std::string(text), expected);  // 32 octets and the terminator fit
  char small[4];
  stats_hex_octets(small, octets);
  EXPECT_EQ(std::string(small), "5A");
}

}  // namespace
}  // namespace vxctl::testing
