// Seeded random streams typed into the serial port: the controller never
// fails, every completed line gets exactly one final result, and it ends
// up idle.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "controller/acu/acu_controller.h"
#include "controller/acu/tests/support/acu_rig.h"

namespace vxctl::testing {
namespace {

class AcuRandomLines : public AcuRig {};


std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

std::size_t FinalResults(const std::string& text) {
  return Count(text, "\r\nOK\r\n") + Count(text, "\r\nERROR\r\n");
}

// A line's body: printable characters but A and a (so an overlong line's
// rest begins no new line), control characters but CR, LF, CAN and the
// backspace; up to 100 characters, so some overflow.
std::string RandomBody(std::mt19937& random) {
  std::uniform_int_distribution<int> length(0, 100);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> printable(32, 126);
  std::uniform_int_distribution<int> control(0, 31);
  std::string body;
  for (int n = length(random); n > 0; --n) {
    int c = kind(random) == 0 ? control(random) : printable(random);
    if (c == 'A' || c == 'a' || c == '\r' || c == '\n' || c == 24 || c == 8) c = ' ';
    body.push_back(static_cast<char>(c));
  }
  return body;
}

TEST_F(AcuRandomLines, EachLineGetsOneFinalResult) {
  WithTerminal([](plat::testing::DteClient& dte) {
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
      std::mt19937 random(seed);
      for (int line = 0; line < 25; ++line) {
        const std::string typed = (random() % 2 != 0 ? "AT" : "at") + RandomBody(random) + "\r";
        SCOPED_TRACE(::testing::Message() << "seed " << seed << " line " << line);
        ASSERT_TRUE(dte.Send(typed));
        EXPECT_EQ(FinalResults(ReadFor(dte, kQuiet)), 1u);
      }
    }
    EXPECT_EQ(acu_controller().state.load(), AcuIdle);
  });
}

// Any bytes at all, A/T mixtures and repeats among them; then CAN and a
// plain line bring the controller back.
TEST_F(AcuRandomLines, ArbitraryBytesLeaveTheControllerWorking) {
  WithTerminal([](plat::testing::DteClient& dte) {
    for (const std::uint32_t seed : {11u, 12u, 13u, 14u}) {
      SCOPED_TRACE(seed);
      std::mt19937 random(seed);
      const char* const fragments[] = {"A", "a", "T", "t", "/", "AT", "A/", "\r", "\b", "\x18"};
      std::string stream;
      for (int i = 0; i < 300; ++i) {
        if (random() % 3 == 0) {
          stream += fragments[random() % std::size(fragments)];
        } else {
          stream.push_back(static_cast<char>(random() % 256));
        }
      }
      ASSERT_TRUE(dte.Send(stream));
      ReadFor(dte, kQuiet);
      ASSERT_TRUE(dte.Send("\x18"));
      ReadFor(dte, kQuiet);
      ASSERT_TRUE(dte.Send("AT\r"));
      const std::string answer = ReadFor(dte, kQuiet);
      EXPECT_EQ(answer.substr(answer.size() < 6 ? 0 : answer.size() - 6), "\r\nOK\r\n") << answer;
      EXPECT_EQ(acu_controller().state.load(), AcuIdle);
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
