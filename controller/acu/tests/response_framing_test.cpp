// Responses through the DTE interface to the application: the five
// framings with S3 and S4 (0 meaning "not sent"), translation, single
// characters and the formatted print, long texts that wait for the
// reader, and a reader that stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/acu_output.h"
#include "controller/acu/acu_response.h"
#include "controller/acu/tests/response_testing.h"
#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_state.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

struct FramingCase {
  std::uint8_t s3;
  std::uint8_t s4;
  AcuFraming framing;
  std::string text;
  std::string sent;
};

TEST(ResponseFraming, ModesZeroToFourWithLineEndsChangedAndZero) {
  const std::vector<FramingCase> cases = {
      {13, 10, AcuFraming::TextLineEnd, "OK", "OK\r\n"},
      {13, 10, AcuFraming::Framed, "OK", "\r\nOK\r\n"},
      {13, 10, AcuFraming::LineEndText, "OK", "\r\nOK"},
      {13, 10, AcuFraming::Text, "OK", "OK"},
      {13, 10, AcuFraming::Translated, "a\r\nb\r", "a\r\nb\r"},
      // Other line-end characters.
      {'#', '*', AcuFraming::TextLineEnd, "OK", "OK#*"},
      {'#', '*', AcuFraming::Framed, "OK", "#*OK#*"},
      {'#', '*', AcuFraming::LineEndText, "OK", "#*OK"},
      {'#', '*', AcuFraming::Text, "OK", "OK"},
      {'#', '*', AcuFraming::Translated, "a\r\nb\r", "a#*b#"},
      // A register at 0 is not sent, nor is the character it stands for.
      {0, 0, AcuFraming::TextLineEnd, "OK", "OK"},
      {0, 0, AcuFraming::Framed, "OK", "OK"},
      {0, 0, AcuFraming::LineEndText, "OK", "OK"},
      {0, 0, AcuFraming::Translated, "a\r\nb", "ab"},
      {13, 0, AcuFraming::Framed, "OK", "\rOK\r"},
      {0, 10, AcuFraming::Framed, "OK", "\nOK\n"},
      {'#', 0, AcuFraming::Translated, "a\r\nb", "a#b"},
      {0, '*', AcuFraming::Translated, "a\r\nb", "a*b"},
      // Each character is translated once: S3 = LF does not become S4.
      {10, 13, AcuFraming::Translated, "a\r\nb", "a\n\rb"},
      // Only CR and LF are translated; the text is sent as it is otherwise.
      {'#', '*', AcuFraming::Translated, "x\ty 13 10", "x\ty 13 10"},
      {13, 10, AcuFraming::Framed, "", "\r\n\r\n"},
  };
  RunResponses([&] {
    for (const FramingCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << int(c.s3) << "/" << int(c.s4) << " mode "
                                      << int(c.framing) << " \"" << c.text << "\"");
      SetFraming(c.s3, c.s4, true);
      acu_output().response_started = 0;
      acu_send_response(c.text.c_str(), c.framing);
      EXPECT_EQ(AppRead(), c.sent);
      EXPECT_EQ(acu_output().response_started, 1);
    }
  });
}

TEST(ResponseFraming, LineEndCharactersAndThePrint) {
  RunResponses([] {
    SetFraming('#', '*', true);
    acu_send_line_end();
    acu_put_char('A');
    acu_put_char('\r');  // a single character is never translated
    EXPECT_EQ(AppRead(), "#*A\r");

    AcuOutputState& output = acu_output();
    output.print_args[0] = 7;
    output.print_args[1] = 255;
    EXPECT_EQ(acu_dte_printf("S%d=%3d\r\n"), 8u);
    EXPECT_EQ(AppRead(), "S7=255#*");
  });
}

TEST(ResponseFraming, ALongTextWaitsForTheReaderAndArrivesWhole) {
  RunResponses([] {
    SetFraming(13, 10, true);
    // More than the response ring and the port's read queue hold together.
    std::string text;
    for (int i = 0; text.size() < 12 * 1024; ++i) text += "line " + std::to_string(i) + "\r\n";
    std::string read;
    bool sending = true;
    RunThreads({{16,
                 [&] {
                   acu_send_response(text.c_str(), AcuFraming::Translated);
                   sending = false;
                 }},
                {15, [&] {
                   while (sending) {
                     SleepMs(5);
                     read += AppRead();
                   }
                 }}});
    read += AppRead();
    EXPECT_EQ(read, text);
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);
  });
}

// The application stops reading in the middle of a long response: the
// writer waits 500 of the controller's ticks once, drops the rest and
// ends the response (no line end follows), while the ticks go on.
TEST(ResponseFraming, AReaderThatStopsMidResponse) {
  enum class Stop { Reading, PortClose };
  for (const Stop stop : {Stop::Reading, Stop::PortClose}) {
    SCOPED_TRACE(stop == Stop::Reading ? "reader stops" : "port closes");
    RunResponses([&] {
      SetFraming(13, 10, true);
      const std::string text(12 * 1024, 'x');
      bool sending = true;
      std::uint32_t ticks = 0;
      RunThreads({{16,
                   [&] {
                     acu_send_response(text.c_str(), AcuFraming::TextLineEnd);
                     sending = false;
                   }},
                  {17, [&] {
                     while (sending) {
                       SleepMs(10);
                       ctl_tick_10ms();
                       ++ticks;
                       if (stop == Stop::PortClose && ticks == 20) acu_running().store(0);
                     }
                   }}});
      if (stop == Stop::Reading) {
        EXPECT_GE(ticks, 500u);
        EXPECT_LE(ticks, 501u);
        EXPECT_EQ(MachineState<AssertLog>().Total(), 1u);  // one wait gave up, not one per 2 KB
        EXPECT_EQ(acu_tick_counts().ticks_10ms.load(), ticks);
        EXPECT_EQ(dte_state().cmd_to.Count(), 0u);  // the ring was emptied
      } else {
        EXPECT_LE(ticks, 21u);  // the writer returned at the next round of its wait
        EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);
        acu_running().store(1);
      }
      const std::string read = AppRead();
      EXPECT_LT(read.size(), text.size());
      EXPECT_EQ(read.find_first_not_of('x'), std::string::npos);  // the start of the text, no line end
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
