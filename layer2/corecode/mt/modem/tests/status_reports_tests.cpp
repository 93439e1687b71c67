// The diagnostic reports as the application reads them through the real
// DTE interface and port, with a scripted data pump.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controller/acu/tests/response_testing.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/status_reports.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/fake_data_pump.h"
#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

// Runs `body` with the port open, CR LF line ends and a scripted data pump.
void WithStatusRig(const std::function<void(FakeDataPump&)>& body) {
  RunResponses([&] {
    SetFraming(13, 10, true);
    FakeDataPump pump(RigCallback);
    pump.Bind();
    body(pump);
    pump.Unbind();
  });
}

std::string StatusText() {
  std::array<char, kStatusTextBytes> text{};
  char* end = ModemTask_StatusText(text);
  EXPECT_EQ(*end, 0);
  return {text.data(), end};
}

TEST(StatusReports, StateLinePerConnectionCode) {
  WithStatusRig([](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.modulation = 18;
    task.tx_rate = 31200;
    task.rx_rate = 33600;
    for (std::uint8_t code = 0; code < 16; ++code) {
      std::string expected = "Other";
      if (code == 0) expected = "Idle";
      if (code == 2) expected = "Connected V34 TX=31200 RX=33600";
      if (code == 3) expected = "Retraining";
      if (code == 4) expected = "Dropping";
      if (code == 13) expected = "Renegotiating";
      // The flags above the code (carrier, transmit queue empty) change nothing.
      pump.SetRegister(pump::kRegStatus, static_cast<std::uint8_t>(0x50 | code));
      EXPECT_EQ(StatusText(), expected) << int(code);
    }
  });
}

TEST(StatusReports, ModulationNamesOfTheConnectedLine) {
  struct Row {
    std::uint8_t modulation;
    std::uint8_t v92;
    const char* name;
  };
  const Row rows[] = {{0, 0, "BELL_103"}, {7, 0, "V22BIS"}, {9, 0, "V27_LONG"},
                      {13, 0, "V32_TCM"}, {17, 0, "V34_SYM"}, {19, 0, "Unknown"},
                      {21, 0, "Unknown"}, {22, 0, "X2"},      {23, 0, "V90"},
                      {23, 1, "V92"},     {24, 0, "V92"},     {25, 0, "Unknown"},
                      {255, 0, "Unknown"}};
  WithStatusRig([&](FakeDataPump& pump) {
    pump.SetRegister(pump::kRegStatus, 2);
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.tx_rate = 0;
    task.rx_rate = 65535;
    for (const Row& row : rows) {
      task.modulation = row.modulation;
      task.v92_connection = row.v92;
      EXPECT_EQ(StatusText(), std::string("Connected ") + row.name + " TX=0 RX=65535");
    }
  });
}

TEST(StatusReports, ConnectionReportWithAndWithoutTheVerboseBit) {
  WithStatusRig([](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.connection_count = 12;
    task.retrain_reports = 3;
    task.reneg_reports = 0;
    pump.SetRegister(pump::kRegStatus, 4);
    ModemTask_PrintConnectionStatus(1);
    EXPECT_EQ(AppRead(),
              "\r\nConnection Status: Dropping\r\nConnection Number : 12\r\nRetrains : 3"
              "\r\nRenegs   : 0");
    ModemTask_PrintConnectionStatus(0);
    EXPECT_EQ(AppRead(),
              "Connection Status: Dropping\r\nConnection Number : 12\r\nRetrains : 3"
              "\r\nRenegs   : 0");
  });
}

// A V.90 connection adds the PCM lines from the data pump's 0xCC reply;
// without that reply they say so.
TEST(StatusReports, PcmLinesComeOnlyFromAPcmReply) {
  WithStatusRig([](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.modulation = 23;
    task.tx_rate = 31200;
    task.rx_rate = 50666;
    pump.SetRegister(pump::kRegStatus, 2);
    pump.Script(0x82, FakeAnswer::Reply(pump::kDpPcmInfo, {0x11, 0x22, 0x33, 0x44, 0x5A, 0x06,
                                                           0x7C, 0x08}));
    ModemTask_PrintConnectionStatus(1);
    EXPECT_EQ(AppRead(),
              "\r\nConnection Status: Connected V90 TX=31200 RX=50666\r\nConnection Number : 0"
              "\r\nPCM Signature: 44,33,22,11\r\nTiming Offset       : 065A"
              "\r\nSqrint              : 087C\r\nRetrains : 0\r\nRenegs   : 0");
    // A reply of another code (a stale version block, say) is no PCM data.
    pump.Script(0x82, FakeAnswer::Reply(pump::kDpVersionInfo, {1, 2, 3, 4, 5, 6, 7, 8}));
    ModemTask_PrintConnectionStatus(1);
    const std::string text = AppRead();
    EXPECT_NE(text.find("\r\nPCM Signature: unknown\r\nTiming Offset       : unknown"
                        "\r\nSqrint              : unknown\r\n"),
              std::string::npos)
        << text;
  });
}

TEST(StatusReports, TheFailedPacketIsPrintedOnceAndForgotten) {
  WithStatusRig([](FakeDataPump&) {
    pump::DspPacket& failed = MachineState<DspTransportState>().failed;
    failed = {0x66, 0, 6, 0, {80, 60, 0, 0, 0xBC, 0x02}};
    ModemTask_PrintConnectionStatus(1);
    std::string text = AppRead();
    EXPECT_NE(text.find("\r\nDSP NR: 66 00 06 00 50 3C 00 00 BC 02"), std::string::npos) << text;
    EXPECT_EQ(failed.code, 0);
    ModemTask_PrintConnectionStatus(1);
    text = AppRead();
    EXPECT_EQ(text.find("DSP NR"), std::string::npos) << text;
    // A length past the packet's payload prints the packet and no more.
    failed = {0x61, 0, 0xFF, 0, {}};
    ModemTask_PrintConnectionStatus(1);
    text = AppRead();
    const std::size_t at = text.find("\r\nDSP NR:");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at + 9, 4), " 61 ");
    EXPECT_EQ(text.size(), at + 9 + 3 * 20) << "the trace is empty: nothing follows";
  });
}

std::vector<std::string> TraceLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) {
    at += 2;
    const std::size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
  }
  return lines;
}

TEST(StatusReports, TheTraceKeepsTheLast19EntriesAndTheirTimeSteps) {
  WithStatusRig([](FakeDataPump&) {
    EventTraceRing& trace = modem_event_trace();
    for (std::uint32_t i = 0; i < 25; ++i) {
      ModemTask_TraceAdd(&trace, 1000 * i * i, ("event " + std::to_string(i)).c_str());
    }
    ModemTask_TraceDump(&trace);
    const std::vector<std::string> lines = TraceLines(AppRead());
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "[         0] event 6");
    for (std::uint32_t i = 7; i < 25; ++i) {
      std::string step = std::to_string(1000 * (i * i - (i - 1) * (i - 1)));
      step.insert(0, 10 - step.size(), ' ');
      EXPECT_EQ(lines[i - 6], "[" + step + "] event " + std::to_string(i));
    }
  });
}

TEST(StatusReports, TraceTextsAreCutAt71AndEqualStampsStepZero) {
  WithStatusRig([](FakeDataPump&) {
    EventTraceRing& trace = modem_event_trace();
    ModemTaskState& task = MachineState<ModemTaskState>();
    task.retrain_reports = 4;
    task.reneg_reports = 5;
    ModemTask_TraceReset(&trace);
    EXPECT_EQ(task.retrain_reports, 0);
    EXPECT_EQ(task.reneg_reports, 0);
    const std::string hundred(100, 'x');
    ModemTask_TraceAdd(&trace, 4000000000u, hundred.c_str());
    ModemTask_TraceAdd(&trace, 4000000000u, "Retrain");
    ModemTask_TraceAdd(&trace, 4000000010u, "Hang up");
    ModemTask_TraceAdd(nullptr, 1, "ignored");
    ModemTask_TraceAdd(&trace, 1, nullptr);
    ModemTask_TraceDump(&trace);
    EXPECT_EQ(TraceLines(AppRead()),
              (std::vector<std::string>{"[         0] " + std::string(71, 'x'),
                                        "[         0] Retrain", "[        10] Hang up"}));
    ModemTask_TraceReset(&trace);
    ModemTask_TraceDump(&trace);
    EXPECT_EQ(AppRead(), "");
  });
}

TEST(StatusReports, VersionComesFromItsOwnReply) {
  WithStatusRig([](FakeDataPump& pump) {
    pump.Script(0x94, FakeAnswer::Reply(pump::kDpVersionInfo,
                                        {1, 0, 0x10, 0x27, 0xFF, 0xFF, 7, 0, 3, 0}));
    ModemTask_PrintDspVersion();
    EXPECT_EQ(AppRead(), "\r\nDSP Software Version : 1.10000.65535.7");
    pump.Script(0x94, FakeAnswer::Echo());
    ModemTask_PrintDspVersion();
    EXPECT_EQ(AppRead(), "\r\nDSP Software Version : unknown");
  });
}

TEST(StatusReports, HexLinesShowWordsHighByteFirst) {
  WithStatusRig([](FakeDataPump&) {
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x10 * i + i);
    ModemTask_PrintHexLine(0x0001ABCD, bytes);
    EXPECT_EQ(AppRead(), "\r\n0001ABCD:  1100 3322 5544 7766 9988 BBAA DDCC FFEE ");
  });
  for (const auto& [value, text] : {std::pair{0x00, "00"}, {0x0F, "0F"}, {0xA5, "A5"}, {0xFF, "FF"}}) {
    EXPECT_STREQ(ModemTask_HexByte(static_cast<std::uint8_t>(value)).data(), text);
  }
}

}  // namespace
}  // namespace vxctl::testing
