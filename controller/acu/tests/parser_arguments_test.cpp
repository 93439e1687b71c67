// Every argument kind: what it accepts, what it refuses, what the buffer
// holds afterwards and where the parse stops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/acu/at_arguments.h"
#include "controller/acu/tests/at_parser_testing.h"

namespace vxctl::testing {
namespace {

using K = AtArgumentKind;

struct Parsed {
  bool accepted;
  AtArgumentBuffer buffer;
  std::string rest;
};

Parsed Parse(K kind, const std::string& text) {
  Parsed parsed{false, {}, {}};
  parsed.buffer.bytes.fill(0xEE);  // shows which bytes were written
  parsed.buffer.Start();
  const char* cursor = text.c_str();
  parsed.accepted = ParseAtArgument(kind, cursor, parsed.buffer);
  parsed.rest = cursor;
  return parsed;
}

unsigned WidthOf(K kind) {
  switch (kind) {
    case K::Decimal16: case K::DecimalList16: case K::Hex16: case K::HexList16: return 2;
    case K::Decimal32: case K::DecimalList32: case K::Hex32: case K::HexList32: return 4;
    default: return 1;
  }
}

// The first `count` elements in the kind's width.
std::vector<std::uint32_t> Elements(K kind, const AtArgumentBuffer& buffer, std::size_t count) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < count; ++i) {
    switch (WidthOf(kind)) {
      case 2: out.push_back(Element<std::uint16_t>(buffer, i)); break;
      case 4: out.push_back(Element<std::uint32_t>(buffer, i)); break;
      default: out.push_back(Element<std::uint8_t>(buffer, i)); break;
    }
  }
  return out;
}

struct NumberCase {
  K kind;
  std::string text;
  bool accepted;
  std::vector<std::uint32_t> elements;  // up to the closing zero element
  std::string rest;
};

TEST(ParserArguments, NumbersAndListsByWidthAndRadix) {
  const std::vector<NumberCase> cases = {
      // Decimal numbers; no digits is 0 ("E" means "E0").
      {K::Decimal8, "", true, {0}, ""},
      {K::Decimal8, "255", true, {255, 0}, ""},
      {K::Decimal8, "007X", true, {7, 0}, "X"},
      {K::Decimal8, "256", false, {}, ""},
      {K::Decimal8, "300", false, {}, ""},
      {K::Decimal16, "65535", true, {65535, 0}, ""},
      {K::Decimal16, "65536", false, {}, ""},
      {K::Decimal32, "4294967295", true, {4294967295u, 0}, ""},
      {K::Decimal32, "4294967296", false, {}, ""},
      {K::Decimal32, "999999999999999999999999", false, {}, ""},
      // Decimal lists: {position, value} pairs; an empty one only advances.
      {K::DecimalList8, "3,,2", true, {1, 3, 3, 2, 0}, ""},
      {K::DecimalList8, ",5;X", true, {2, 5, 0}, ";X"},
      {K::DecimalList8, "", true, {0}, ""},
      {K::DecimalList8, "0,1", true, {1, 0, 2, 1, 0}, ""},
      {K::DecimalList8, "1,256", false, {}, ""},
      {K::DecimalList16, "65535,7", true, {1, 65535, 2, 7, 0}, ""},
      {K::DecimalList16, "65536", false, {}, ""},
      {K::DecimalList32, "4294967295", true, {1, 4294967295u, 0}, ""},
      {K::DecimalList32, "1,4294967296", false, {}, ""},
      // Hex: at most 2/4/8 significant digits, leading zeros not counted.
      {K::Hex8, "FF", true, {0xFF, 0}, ""},
      {K::Hex8, "0000FF", true, {0xFF, 0}, ""},
      {K::Hex8, "1FF", false, {}, ""},
      {K::Hex8, "ff", true, {0}, "ff"},  // only upper case is hex
      {K::Hex8, "AG", true, {0xA, 0}, "G"},
      {K::Hex16, "FFFF", true, {0xFFFF, 0}, ""},
      {K::Hex16, "10000", false, {}, ""},
      {K::Hex32, "00000000DEADBEEF", true, {0xDEADBEEF, 0}, ""},
      {K::Hex32, "123456789", false, {}, ""},
      {K::HexList8, "A,,B", true, {1, 0xA, 3, 0xB, 0}, ""},
      {K::HexList8, "1,100", false, {}, ""},
      {K::HexList16, "0FFFF,1;", true, {1, 0xFFFF, 2, 1, 0}, ";"},
      {K::HexList32, "FFFFFFFF,100000000", false, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " \"" + c.text + "\"");
    const Parsed parsed = Parse(c.kind, c.text);
    ASSERT_EQ(parsed.accepted, c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(Elements(c.kind, parsed.buffer, c.elements.size()), c.elements);
    EXPECT_EQ(parsed.rest, c.rest);
  }
}

struct TextCase {
  K kind;
  std::string text;
  bool accepted;
  std::string argument;
  std::string rest;
};

TEST(ParserArguments, TextKinds) {
  const std::vector<TextCase> cases = {
      // Dial text: up to and including the first ';'.
      {K::DialText, "T123;E1", true, "T123;", "E1"},
      {K::DialText, "T123", true, "T123", ""},
      {K::DialText, "", true, "", ""},
      // Quoted: both quotes kept, case and spaces inside kept.
      {K::Quoted, "\"Ab c\"X", true, "\"Ab c\"", "X"},
      {K::Quoted, "\"\"", true, "\"\"", ""},
      {K::Quoted, "\"Ab c", false, "", ""},
      {K::Quoted, "abc\"", false, "", ""},
      {K::Quoted, "", false, "", ""},
      // Digits and '.', at least one.
      {K::DecimalText, "1.2.3X", true, "1.2.3", "X"},
      {K::DecimalText, "X", false, "", ""},
      {K::DecimalText, "", false, "", ""},
      // The rest of the line, ';' included.
      {K::RestOfLine, "A;B", true, "A;B", ""},
      // Up to, not including, the first ';'.
      {K::TextToSeparator, "AB;CD", true, "AB", ";CD"},
      {K::TextToSeparator, "AB", true, "AB", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " \"" + c.text + "\"");
    const Parsed parsed = Parse(c.kind, c.text);
    ASSERT_EQ(parsed.accepted, c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(parsed.buffer.bytes.data())), c.argument);
    EXPECT_EQ(parsed.rest, c.rest);
  }
}

TEST(ParserArguments, DialCharactersKeptSkippedAndRefused) {
  const Parsed kept = Parse(K::DialCharacters, "0123456789*#!,;=@ABCDPRTW");
  ASSERT_TRUE(kept.accepted);
  EXPECT_STREQ(reinterpret_cast<const char*>(kept.buffer.bytes.data()), "0123456789*#!,;=@ABCDPRTW");

  const Parsed skipped = Parse(K::DialCharacters, "(555)-12-34");
  ASSERT_TRUE(skipped.accepted);
  EXPECT_STREQ(reinterpret_cast<const char*>(skipped.buffer.bytes.data()), "5551234");

  for (const char* refused : {"12E", "X", "1+2", "1/2", "1 2", "1\"2\"", "1.2"}) {
    EXPECT_FALSE(Parse(K::DialCharacters, refused).accepted) << refused;
  }
}

TEST(ParserArguments, SignedByteWithinPlusMinus127) {
  struct Case {
    std::string text;
    bool accepted;
    std::int8_t value;
  };
  const std::vector<Case> cases = {
      {"", true, 0},      {"5", true, 5},      {"+127", true, 127}, {"-127", true, -127},
      {"-0", true, 0},    {"128", false, 0},   {"-128", false, 0},  {"+1000", false, 0},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(K::SignedByte, c.text);
    ASSERT_EQ(parsed.accepted, c.accepted) << c.text;
    if (c.accepted) {
      EXPECT_EQ(static_cast<std::int8_t>(parsed.buffer.bytes[0]), c.value) << c.text;
    }
  }
}

std::string Repeat(const std::string& item, int count, const std::string& separator) {
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? separator : "") + item;
  return out;
}

// The 80-byte buffer: a parsed form that would not fit is refused.
TEST(ParserArguments, ParsedFormThatWouldOverflowTheBufferIsRefused) {
  struct Case {
    K kind;
    std::string text;
    bool accepted;
  };
  const std::vector<Case> cases = {
      // 39 u8 pairs and the zero fill 79 bytes; 40 pairs would need 81.
      {K::DecimalList8, Repeat("1", 39, ","), true},
      {K::DecimalList8, Repeat("1", 40, ","), false},
      // u32 pairs: 9 pairs and the zero are 76 bytes; 10 pairs need 84.
      {K::DecimalList32, Repeat("1", 9, ","), true},
      {K::DecimalList32, Repeat("1", 10, ","), false},
      {K::HexList16, Repeat("F", 19, ","), true},
      {K::HexList16, Repeat("F", 20, ","), false},
      // Positions beyond the element width.
      {K::DecimalList8, std::string(255, ',') + "1", false},
      // Text with its closing NUL.
      {K::RestOfLine, std::string(79, 'A'), true},
      {K::RestOfLine, std::string(80, 'A'), false},
      {K::DialText, std::string(80, '1'), false},
      {K::Quoted, "\"" + std::string(77, 'a') + "\"", true},
      {K::Quoted, "\"" + std::string(78, 'a') + "\"", false},
      {K::DialCharacters, std::string(80, '1'), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.kind, c.text).accepted, c.accepted)
        << static_cast<int>(c.kind) << " of " << c.text.size() << " characters";
  }
}

}  // namespace
}  // namespace vxctl::testing
