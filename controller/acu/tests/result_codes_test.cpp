// Result codes as the application receives them: numeric (V0) and text
// (V1) forms, Q1, S3 and S4 (0 included), the connect report with its
// intermediate reports, the ring-time and voice-message codes and the
// V.80 split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/acu_result.h"
#include "controller/acu/acu_services.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/response_testing.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl::testing {
namespace {

struct CodeCase {
  std::uint8_t s3;
  std::uint8_t s4;
  bool verbose;
  bool quiet;
  std::uint8_t code;
  std::string sent;
};

TEST(ResultCodes, NumericAndTextFormsWithLineEnds) {
  const std::vector<CodeCase> cases = {
      // V1: line end, text, line end.
      {13, 10, true, false, 0, "\r\nOK\r\n"},
      {13, 10, true, false, 3, "\r\nNO CARRIER\r\n"},
      {13, 10, true, false, 11, "\r\n+FCERROR\r\n"},
      {13, 10, true, false, 39, "\r\nRINGD\r\n"},
      {'#', '*', true, false, 2, "#*RING#*"},
      {13, 0, true, false, 4, "\rERROR\r"},
      {0, 10, true, false, 7, "\nBUSY\n"},
      {0, 0, true, false, 6, "NO DIALTONE"},
      {13, 10, true, false, 5, "\r\n\r\n"},  // an empty row: its line ends only
      // V0: the number without a leading zero, then S3 alone.
      {13, 10, false, false, 0, "0\r"},
      {13, 10, false, false, 3, "3\r"},
      {13, 10, false, false, 11, "+F4\r"},
      {13, 10, false, false, 33, "33\r"},
      {13, 10, false, false, 5, "5\r"},
      {'#', '*', false, false, 4, "4#"},
      {0, 10, false, false, 7, "7"},
      // Q1: nothing, in either form.
      {13, 10, true, true, 0, ""},
      {13, 10, false, true, 3, ""},
      {13, 10, true, true, 20, ""},
      {13, 10, false, true, 20, ""},
      // Code 21 is never printed; codes without a row send nothing.
      {13, 10, true, false, 21, ""},
      {13, 10, false, false, 21, ""},
      {13, 10, true, false, 40, ""},
      {13, 10, false, false, 253, ""},
  };
  RunResponses([&] {
    for (const CodeCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << "code " << int(c.code) << " S3 " << int(c.s3) << " S4 "
                                      << int(c.s4) << (c.verbose ? " V1" : " V0")
                                      << (c.quiet ? " Q1" : " Q0"));
      SetFraming(c.s3, c.s4, c.verbose, c.quiet);
      acu_report_result(c.code);
      EXPECT_EQ(AppRead(), c.sent);
    }
  });
}

TEST(ResultCodes, RingTimeVoiceMessageAndTheV80Split) {
  struct Case {
    bool verbose;
    std::uint8_t code;
    std::uint8_t ring_time;
    bool v80;
    std::string sent;
  };
  const std::vector<Case> cases = {
      // 15 and 16: no leading line end; the ring time in one or two digits.
      {true, 15, 7, false, "DRON=7\r\n"},
      {true, 16, 42, false, "DROF=42\r\n"},
      {true, 15, 0, false, "DRON=0\r\n"},
      {false, 16, 42, false, "16\r"},
      // 254: the voice message alone; 255 framed; both as text in V0 too.
      {true, 254, 0, false, "hello"},
      {false, 254, 0, false, "hello"},
      {true, 255, 0, false, "\r\nhello\r\n"},
      {false, 255, 0, false, "\r\nhello\r\n"},
      // V.80 synchronous access: NO CARRIER and BUSY split after two characters.
      {true, 3, 0, true, "NO\r\n CARRIER\r\n"},
      {true, 7, 0, true, "BU\r\nSY\r\n"},
      {true, 4, 0, true, "\r\nERROR\r\n"},
      {false, 3, 0, true, "3\r"},
  };
  RunResponses([&] {
    acu_call().voice_message = "hello";
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "code " << int(c.code) << (c.v80 ? " V.80" : ""));
      SetFraming(13, 10, c.verbose);
      MachineState<LineServicesState>().context.ring_report_duration = c.ring_time;
      acu_call().v80_selected = c.v80 ? 1 : 0;
      acu_report_result(c.code);
      EXPECT_EQ(AppRead(), c.sent);
    }
    // No message kept: the code's line ends only.
    acu_call().voice_message = nullptr;
    acu_report_result(255);
    EXPECT_EQ(AppRead(), "\r\n\r\n");
  });
}

// The connection every connect case starts from: V.34 at 28800/26400,
// LAPM with V.42bis both ways, X4 (S22 factory value), no reports on.
void DefaultConnection() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.modulation = 18;
  task.rx_rate = 28800;
  task.tx_rate = 26400;
  task.v92_connection = 0;
  task.aux_channel = 0;
  AcuSettings& settings = acu_settings();
  settings = AcuSettings{};
  AcuCallState& call = acu_call();
  call = AcuCallState{};
  call.ec_status = kEcLapm;
  MachineState<LinkProtocolsStandin>().statistics.compression = 3;
}

struct ConnectCase {
  std::string name;
  void (*setup)();
  std::string sent;
};

void AllReports() {
  AcuSettings& settings = acu_settings();
  settings.report_modulation = 1;
  settings.report_error_control = 1;
  settings.report_compression = 1;
  settings.report_dte_rate = 1;
}

void V92Call() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.modulation = 23;
  task.rx_rate = 52000;
  task.tx_rate = 31200;
  task.v92_connection = 1;
}

TEST(ResultCodes, ConnectWithRate) {
  const std::vector<ConnectCase> cases = {
      {"X0 gives CONNECT alone", [] { acu_settings().s[kSReports] = 118 & ~kS22ExtendedResults; },
       "\r\nCONNECT\r\n"},
      {"X0 in V0 is code 1",
       [] {
         SetFraming(13, 10, false);
         acu_settings().s[kSReports] = 0;
       },
       "1\r"},
      {"V1", [] {}, "\r\nCONNECT 28800\r\n"},
      {"V0 sends the rate as text", [] { SetFraming(13, 10, false); }, "CONNECT 28800\r\n"},
      {"V0 sends no reports", [] { SetFraming(13, 10, false), AllReports(); },
       "CONNECT 28800\r\n"},
      {"line ends 0", [] { SetFraming(0, 0, true), AllReports(); },
       "+MCR: V34+MRR: 26400+ER: LAPM+DR: V42B+ILRR: 19200CONNECT 28800"},
      {"call mode 4 sends no reports", [] { AllReports(), acu_call().call_mode = 4; },
       "\r\nCONNECT 28800\r\n"},
      {"V.90 with V.92 enabled and connected is shown as V.92", [] { AllReports(), V92Call(); },
       "\r\n+MCR: V92\r\n\r\n+MRR: 31200\r\n\r\n+ER: LAPM\r\n\r\n+DR: V42B\r\n"
       "\r\n+ILRR: 19200\r\n\r\nCONNECT 52000\r\n"},
      {"+ILRR with DTE rate 0 shows the transmit rate",
       [] {
         acu_settings().report_dte_rate = 1;
         acu_settings().dte_rate = 0;
       },
       "\r\n+ILRR: 26400\r\n\r\nCONNECT 28800\r\n"},
      {"+ILRR at 115200",
       [] {
         acu_settings().report_dte_rate = 1;
         acu_settings().dte_rate = 115200;
       },
       "\r\n+ILRR: 115200\r\n\r\nCONNECT 28800\r\n"},
      {"V22 shown as V22B when V22B is the highest allowed",
       [] {
         acu_settings().report_modulation = 1;
         acu_settings().ms_carrier = 7;
         MachineState<ModemTaskState>().modulation = 6;
         MachineState<ModemTaskState>().rx_rate = 1200;
         MachineState<ModemTaskState>().tx_rate = 1200;
       },
       "\r\n+MCR: V22B\r\n\r\n+MRR: 1200\r\n\r\nCONNECT 1200\r\n"},
      {"V22 under +MS=V90",
       [] {
         acu_settings().report_modulation = 1;
         MachineState<ModemTaskState>().modulation = 6;
         MachineState<ModemTaskState>().tx_rate = 1200;
       },
       "\r\n+MCR: V22\r\n\r\n+MRR: 1200\r\n\r\nCONNECT 28800\r\n"},
      {"+MSCR with the auxiliary channel switch at V.34",
       [] {
         acu_settings().report_modulation = 1;
         acu_settings().v34_aux_channel = 1;
         MachineState<ModemTaskState>().aux_channel = 1;
       },
       "\r\n+MCR: V34\r\n\r\n+MRR: 26400\r\n\r\n+MSCR: 1\r\n\r\nCONNECT 28800\r\n"},
      {"no +MSCR at V.90",
       [] {
         acu_settings().report_modulation = 1;
         acu_settings().v34_aux_channel = 1;
         MachineState<ModemTaskState>().modulation = 23;
       },
       "\r\n+MCR: V90\r\n\r\n+MRR: 26400\r\n\r\nCONNECT 28800\r\n"},
      {"+ER NONE in buffered mode",
       [] {
         acu_settings().report_error_control = 1;
         acu_call().ec_status = kEcBuffered;
       },
       "\r\n+ER: NONE\r\n\r\nCONNECT 28800\r\n"},
      {"+ER NONE in direct mode",
       [] {
         acu_settings().report_error_control = 1;
         acu_call().link_kind = kLinkDirect;
       },
       "\r\n+ER: NONE\r\n\r\nCONNECT 28800\r\n"},
      {"+ER ALT under MNP",
       [] {
         acu_settings().report_error_control = 1;
         acu_call().ec_status = 3;
       },
       "\r\n+ER: ALT\r\n\r\nCONNECT 28800\r\n"},
  };
  RunResponses([&] {
    for (const ConnectCase& c : cases) {
      SCOPED_TRACE(c.name);
      DefaultConnection();
      c.setup();
      acu_report_result(20);
      EXPECT_EQ(AppRead(), c.sent);
    }
  });
}

TEST(ResultCodes, V92ShownByTheReportOption) {
  struct Case {
    std::uint8_t option;
    std::uint8_t upstream;
    std::uint8_t enabled;
    std::uint8_t connection;
    std::string name;
  };
  const std::vector<Case> cases = {
      {0, 1, 1, 1, "V92"}, {0, 1, 0, 1, "V90"}, {0, 1, 1, 0, "V90"},
      {1, 0, 0, 1, "V92"}, {1, 1, 1, 1, "V90"}, {1, 0, 1, 0, "V90"},
      {2, 1, 1, 1, "V92"},  // only bit 0 of the option counts
  };
  RunResponses([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "option " << int(c.option) << " upstream "
                                      << int(c.upstream) << " enabled " << int(c.enabled)
                                      << " connection " << int(c.connection));
      DefaultConnection();
      V92Call();
      AcuSettings& settings = acu_settings();
      settings.report_modulation = 1;
      settings.v92_report_option = c.option;
      settings.v92_upstream = c.upstream;
      settings.v92_enabled = c.enabled;
      MachineState<ModemTaskState>().v92_connection = c.connection;
      acu_report_result(20);
      EXPECT_EQ(AppRead(), "\r\n+MCR: " + c.name + "\r\n\r\n+MRR: 31200\r\n\r\nCONNECT 52000\r\n");
    }
  });
}

TEST(ResultCodes, CompressionReportByKind) {
  // The compression kind of the statistics, taken modulo 8.
  const std::vector<std::pair<std::uint8_t, std::string>> cases = {
      {0, "+DR: NONE"},   {1, "+DR: V42B RD"}, {2, "+DR: V42B TD"}, {3, "+DR: V42B"},
      {4, "+DR: V44 RD"}, {5, "+DR: V44 TD"},  {6, "+DR: V44"},     {7, "+DR: ALT"},
      {9, "+DR: V42B RD"}, {255, "+DR: ALT"},
  };
  RunResponses([&] {
    for (const auto& [kind, text] : cases) {
      SCOPED_TRACE(int(kind));
      DefaultConnection();
      acu_settings().report_compression = 1;
      LinkProtocolsStandin& link = MachineState<LinkProtocolsStandin>();
      link.statistics.compression = kind;
      link.statistics.error_count = 9;
      acu_report_result(20);
      EXPECT_EQ(AppRead(), "\r\n" + text + "\r\n\r\nCONNECT 28800\r\n");
      EXPECT_EQ(link.statistics.error_count, 0);  // the snapshot clears the counts
    }
  });
}

TEST(ResultCodes, ADteRateOfZeroTakesTheTransmitRate) {
  RunResponses([] {
    DefaultConnection();
    acu_settings().dte_rate = 0;
    acu_settings().report_dte_rate = 1;
    acu_report_result(20);
    EXPECT_EQ(acu_settings().dte_rate, 26400u);
  });
}

}  // namespace
}  // namespace vxctl::testing
