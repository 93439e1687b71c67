// Kind ToneString: the items written for characters, empty elements and
// groups, and the forms refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/at_arguments.h"
#include "controller/acu/tests/at_parser_testing.h"

namespace vxctl::testing {
namespace {

struct ToneResult {
  bool accepted;
  std::vector<std::uint32_t> items;
  std::string rest;
};

ToneResult ParseTones(const std::string& text) {
  AtArgumentBuffer buffer;
  buffer.bytes.fill(0xEE);
  buffer.Start();
  const char* cursor = text.c_str();
  const bool accepted = ParseAtArgument(AtArgumentKind::ToneString, cursor, buffer);
  return {accepted, accepted ? ElementsToZero<std::uint16_t>(buffer) : std::vector<std::uint32_t>{},
          cursor};
}

TEST(ParserToneString, ExampleStringGivesItsItems) {
  const ToneResult result = ParseTones("1,2,[400,800,10],{5,3}");
  ASSERT_TRUE(result.accepted);
  EXPECT_EQ(result.items, (std::vector<std::uint32_t>{2, '1', 2, '2', 7, 400, 8, 800, 9, 10, 4, '5',
                                                       5, 3, 0}));
}

TEST(ParserToneString, ItemsOfEachForm) {
  struct Case {
    std::string text;
    std::vector<std::uint32_t> items;
    std::string rest;
  };
  const std::vector<Case> cases = {
      {"", {0}, ""},
      {"*#!ABCD", {2, '*', 2, '#', 2, '!', 2, 'A', 2, 'B', 2, 'C', 2, 'D', 0}, ""},
      // A ',' after a character or group only separates; otherwise it is item 1.
      {",", {1, 0}, ""},
      {"1,,2", {2, '1', 1, 2, '2', 0}, ""},
      {"[400],,", {7, 400, 255, 1, 0}, ""},
      // Groups with no tone at all: item 3.
      {"[]", {3, 0}, ""},
      {"[,,]", {3, 0}, ""},
      {"{}", {3, 0}, ""},
      {"{,}", {3, 0}, ""},
      // Groups with a tone but no duration: item 255.
      {"[400]", {7, 400, 255, 0}, ""},
      {"[400,800]", {7, 400, 8, 800, 255, 0}, ""},
      {"[,800,]", {8, 800, 255, 0}, ""},
      {"{5}", {4, '5', 255, 0}, ""},
      {"{5,}", {4, '5', 255, 0}, ""},
      // Complete groups, and a frequency of 65535.
      {"[65535,1,2]", {7, 65535, 8, 1, 9, 2, 0}, ""},
      {"{#,65535}", {4, '#', 5, 65535, 0}, ""},
      // The string ends at ';', which stays for the separator rules.
      {"1;E1", {2, '1', 0}, ";E1"},
  };
  for (const auto& c : cases) {
    const ToneResult result = ParseTones(c.text);
    ASSERT_TRUE(result.accepted) << c.text;
    EXPECT_EQ(result.items, c.items) << c.text;
    EXPECT_EQ(result.rest, c.rest) << c.text;
  }
}

TEST(ParserToneString, RefusedForms) {
  for (const char* text : {
           "[,]", "[400,]",           // a second frequency announced and missing
           "[1,2,3,]", "[,,,]",       // a third comma
           "{5,3,}", "{,,}",          // a second comma in braces
           "{5,3", "[400",            // a group left open
           "{55,3}", "{,A}", "{3A}",  // a character only first, a duration only after ','
           "[A]", "[*]",              // no tone characters in brackets
           "[65536]", "{1,65536}", "[1,2,99999999999]",  // above 65535
           "E", "1+2", "(1)",          // not a tone character
       }) {
    EXPECT_FALSE(ParseTones(text).accepted) << text;
  }
}

// At most 40 items with the closing zero: 39 before it.
TEST(ParserToneString, TheFortiethItemBeforeTheEndIsRefused) {
  // "1" writes two items: 19 of them and the end make 39 items; 20 make 41.
  EXPECT_TRUE(ParseTones(std::string(19, '1')).accepted);
  EXPECT_FALSE(ParseTones(std::string(20, '1')).accepted);
  // 39 empty elements and the end are 40 items; a 40th empty element is refused.
  const ToneResult full = ParseTones(std::string(39, ','));
  ASSERT_TRUE(full.accepted);
  EXPECT_EQ(full.items.size(), 40u);
  EXPECT_FALSE(ParseTones(std::string(40, ',')).accepted);
}

}  // namespace
}  // namespace vxctl::testing
