// The response formatters, the string routines and the formatted print:
// one table per routine.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "controller/acu/acu_format.h"
#include "controller/acu/acu_output.h"
#include "controller/acu/acu_print.h"
#include "controller/acu/acu_string.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

struct FormatterCase {
  std::uint32_t value;
  std::string text;
};

TEST(Formatters, FixedWidthOnTheSharedNumberBuffer) {
  AcuNumberBuffer number{};
  for (const auto& c : std::vector<FormatterCase>{{0, "000"}, {7, "007"}, {99, "099"}, {255, "255"}}) {
    EXPECT_STREQ(FormatDec3(number, std::uint8_t(c.value)), c.text.c_str());
  }
  for (const auto& c : std::vector<FormatterCase>{{0, "00"}, {0xA, "0A"}, {0x5C, "5C"}, {0xFF, "FF"}}) {
    EXPECT_STREQ(FormatHex2(number, std::uint8_t(c.value)), c.text.c_str());
  }
  // dec5 fills five digits and points past the leading zeros.
  for (const auto& c : std::vector<FormatterCase>{{0, "0"}, {7, "7"}, {100, "100"}, {10000, "10000"}, {65535, "65535"}}) {
    EXPECT_STREQ(FormatDec5(number, std::uint16_t(c.value)), c.text.c_str());
  }
  FormatDec5(number, 42);
  EXPECT_STREQ(number.data(), "00042");
}

TEST(Formatters, FieldRightAlignedWithSpaces) {
  struct FieldCase {
    std::uint32_t value;
    unsigned width;
    std::string field;
  };
  for (const auto& c : std::vector<FieldCase>{{42, 5, "   42"}, {0, 1, "0"}, {0, 3, "  0"},
                                              {12345, 3, "12345"}, {4294967295u, 12, "  4294967295"}}) {
    char buffer[16];
    const char* first = acu_fmt_field(c.value, buffer, c.width);
    EXPECT_STREQ(buffer, c.field.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::to_string(c.value), first);
  }
  char small[5];
  EXPECT_EQ(acu_fmt_field(42, small, 5), nullptr);  // five characters and the NUL
}

TEST(Formatters, UnsignedAndSignedDecimal) {
  for (const auto& c : std::vector<FormatterCase>{{0, "0"}, {9, "9"}, {10, "10"}, {65535, "65535"}}) {
    char buffer[8];
    char* end = acu_fmt_u16(std::uint16_t(c.value), buffer);
    EXPECT_STREQ(buffer, c.text.c_str());
    EXPECT_EQ(end, buffer + c.text.size());
  }
  struct IntCase {
    std::int32_t value;
    std::string text;
  };
  for (const auto& c : std::vector<IntCase>{{0, "0"}, {-1, "-1"}, {123, "123"}, {INT32_MAX, "2147483647"},
                                            {INT32_MIN, "-2147483648"}}) {
    char buffer[16];
    char* end = acu_fmt_int(c.value, buffer);
    EXPECT_STREQ(buffer, c.text.c_str());
    EXPECT_EQ(end, buffer + c.text.size());
  }
  char small[5] = "xxxx";
  EXPECT_EQ(acu_fmt_u16(65535, std::span<char>(small, 5)), nullptr);
  EXPECT_EQ(acu_fmt_int(-1000, std::span<char>(small, 5)), nullptr);
  EXPECT_STREQ(small, "xxxx");
}

TEST(Formatters, RadixTwoToSixteenAndOutOfRange) {
  struct RadixCase {
    std::uint32_t value;
    unsigned radix;
    std::string text;  // empty: nothing written, null returned
  };
  for (const auto& c : std::vector<RadixCase>{
           {0, 2, "0"}, {5, 2, "101"}, {255, 2, "11111111"}, {5, 3, "12"}, {255, 8, "377"},
           {10, 10, "10"}, {4294967295u, 10, "4294967295"}, {255, 16, "FF"},
           {4294967295u, 16, "FFFFFFFF"}, {4294967295u, 2, std::string(32, '1')}, {35, 15, "25"},
           {5, 0, ""}, {5, 1, ""}, {5, 17, ""}, {5, 36, ""}}) {
    char buffer[40] = "untouched";
    char* end = acu_fmt_radix(c.value, buffer, c.radix);
    if (c.text.empty()) {
      EXPECT_EQ(end, nullptr) << c.radix;
      EXPECT_STREQ(buffer, "untouched") << c.radix;
    } else {
      EXPECT_STREQ(buffer, c.text.c_str()) << c.value << " radix " << c.radix;
    }
  }
}

TEST(Formatters, NumberWithRadixPaddingAndSign) {
  struct NumberCase {
    std::int32_t value;
    std::uint32_t flags;
    std::string text;
  };
  const std::string ones(32, '1');
  std::string padded(61, '0');
  padded += "FF";
  for (const auto& c : std::vector<NumberCase>{
           {-5, 10 | 3u << 8, "-005"},       {5, 10 | 3u << 8, "005"},
           {1234, 10 | 2u << 8, "1234"},     {0, 10, "0"},
           {INT32_MIN, 10, "-2147483648"},  {-1, 16, "FFFFFFFF"},  // '-' only in radix 10
           {-1, 2, ones},                    {5, 2 | 8u << 8, "00000101"},
           {255, 16 | 63u << 8, padded},
           {7, 17, ""}, {7, 1, ""}, {7, 0x3F00, ""}}) {
    char buffer[80] = "untouched";
    const unsigned count = acu_fmt_number(c.value, buffer, c.flags);
    EXPECT_EQ(count, c.text.size()) << c.value << " flags " << c.flags;
    EXPECT_STREQ(buffer, c.text.empty() ? "untouched" : c.text.c_str());
  }
}

TEST(Formatters, HexByteAndWord) {
  char buffer[12];
  for (const auto& c : std::vector<FormatterCase>{{0, "00"}, {1, "01"}, {0xAB, "AB"}}) {
    EXPECT_EQ(acu_fmt_hex_byte(std::uint8_t(c.value), buffer), buffer + 2);
    EXPECT_STREQ(buffer, c.text.c_str());
  }
  for (const auto& c : std::vector<FormatterCase>{{0, "00000000"}, {0x1234ABCD, "1234ABCD"}, {0xFFFFFFFF, "FFFFFFFF"}}) {
    EXPECT_EQ(acu_fmt_hex_word(c.value, buffer), buffer + 8);
    EXPECT_STREQ(buffer, c.text.c_str());
  }
}

TEST(Formatters, StringRoutines) {
  EXPECT_EQ(acu_strlen(""), 0);
  EXPECT_EQ(acu_strlen16("abc"), 3);
  EXPECT_EQ(acu_strlen32("abcd"), 4);

  char buffer[6];
  acu_strcpy(buffer, "abc");
  EXPECT_STREQ(buffer, "abc");
  acu_strcpy(buffer, "abcdefgh");  // cut to the destination, still terminated
  EXPECT_STREQ(buffer, "abcde");
  acu_strncpy(buffer, "abcdef", 2);
  EXPECT_STREQ(buffer, "ab");

  const char* text = "a=b=c";
  EXPECT_EQ(acu_strchr(text, '='), text + 1);
  EXPECT_EQ(acu_strchr(text, 'x'), nullptr);

  char copy[4] = {};
  EXPECT_EQ(acu_memcpy(copy, "xyz", 3), 3u);
  EXPECT_EQ(acu_memcmp(copy, "xyz", 3), 0);
  EXPECT_EQ(acu_memcmp("xyz", "xya", 3), -1);
  EXPECT_EQ(acu_memcmp("xya", "xyz", 3), -1);
  EXPECT_EQ(acu_memcmp("a", "b", 0), 0);
}

TEST(Formatters, PrintDirectives) {
  const char* abc = "abc";
  const auto address = reinterpret_cast<std::uintptr_t>(abc);
  struct PrintCase {
    std::string format;
    std::vector<std::uintptr_t> args;
    std::string text;
  };
  const std::vector<PrintCase> cases = {
      {"plain text", {}, "plain text"},
      {"%d", {std::uint32_t(-5)}, "-5"},
      {"%2d", {5}, "05"},
      {"%2d", {123}, "123"},
      {"%x", {255}, "FF"},
      {"%4x", {255}, "00FF"},
      {"%b", {5}, "101"},
      {"%8b", {5}, "00000101"},
      {"%s.", {address}, "abc."},
      {"%c%c", {'O', 0x14B}, "OK"},  // the low byte
      {"%0x", {0xAB}, "000000AB"},
      {"%0x", {std::uintptr_t{0xFFFFFFFF00000012ull}}, "00000012"},  // the low 32 bits
      {"S%d=%3d", {7, 5}, "S7=005"},
      // An unknown character drops the directive; formatting goes on after it.
      {"a%qb", {}, "ab"},
      {"a%2qb", {}, "ab"},
      {"%10d", {7}, "d"},  // '0' is not a width digit
      {"end%", {}, "end"},
  };
  for (const auto& c : cases) {
    char out[64];
    const AcuPrintResult result = FormatPrint(out, c.format.c_str(), c.args);
    EXPECT_STREQ(out, c.text.c_str()) << c.format;
    EXPECT_EQ(result.length, c.text.size()) << c.format;
    EXPECT_FALSE(result.cut) << c.format;
  }
}

TEST(Formatters, PrintStopsAtTheBufferEndOrWhenArgumentsRunOut) {
  char out[16];
  const std::string long_format(40, 'a');
  AcuPrintResult result = FormatPrint(out, long_format.c_str(), {});
  EXPECT_TRUE(result.cut);
  EXPECT_EQ(result.length, 15u);
  EXPECT_EQ(std::string(out), std::string(15, 'a'));

  const std::uintptr_t words[] = {123456789};
  result = FormatPrint(out, "abcdefghij%d", words);
  EXPECT_TRUE(result.cut);
  EXPECT_STREQ(out, "abcdefghij12345");

  result = FormatPrint(out, "%d and %d", words);
  EXPECT_TRUE(result.cut);
  EXPECT_STREQ(out, "123456789 and ");
}

TEST(Formatters, MachineEntriesUseTheMachinesBuffersAndAssertOnOverrun) {
  RunOnController([] {
    EXPECT_STREQ(acu_fmt_dec3(5), "005");
    EXPECT_STREQ(acu_fmt_hex2(0x3C), "3C");
    EXPECT_STREQ(acu_fmt_dec5(65535), "65535");
    EXPECT_STREQ(acu_output().number.data(), "65535");

    AcuOutputState& output = acu_output();
    output.print_args[0] = 12;
    EXPECT_EQ(acu_dte_format("S%2d"), 3u);
    EXPECT_STREQ(output.print.data(), "S12");
    EXPECT_EQ(MachineState<AssertLog>().Total(), 0u);

    const std::string overrun(300, 'x');
    EXPECT_EQ(acu_dte_format(overrun.c_str()), AcuOutputState::kPrintBytes - 1);
    EXPECT_EQ(output.print.back(), '\0');
    EXPECT_EQ(MachineState<AssertLog>().Total(), 1u);
  });
}

}  // namespace
}  // namespace vxctl::testing
