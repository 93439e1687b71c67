#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/ex/expool.h"
#include "platform/ex/objattr.h"
#include "platform/ex/rtlmemory.h"
#include "platform/ex/rtlstring.h"
#include "platform/nt/ntstatus.h"

namespace {

constexpr WCHAR kSentinel = 0x5A5A;

// A UNICODE_STRING over a buffer of its own, filled with sentinels past the text.
class Text {
 public:
  Text(std::u16string_view text, USHORT maximumBytes) : units_(maximumBytes / 2 + 2, kSentinel) {
    std::copy(text.begin(), text.end(), units_.begin());
    s_ = {static_cast<USHORT>(text.size() * 2), maximumBytes, units_.data()};
  }
  UNICODE_STRING* s() { return &s_; }
  std::u16string str() const { return {s_.Buffer, s_.Length / 2u}; }
  // The code units past Length, up to the end of the buffer.
  std::u16string tail() const { return {units_.begin() + s_.Length / 2, units_.end()}; }

 private:
  std::vector<WCHAR> units_;
  UNICODE_STRING s_;
};

UNICODE_STRING View(const std::u16string& s) {
  return {static_cast<USHORT>(s.size() * 2), static_cast<USHORT>(s.size() * 2),
          const_cast<WCHAR*>(s.data())};
}

TEST(RtlStrings, InitCountsUnitsAndLeavesRoomForTheTerminator) {
  UNICODE_STRING u;
  RtlInitUnicodeString(&u, u"Parameters");
  EXPECT_EQ(u.Length, 20);
  EXPECT_EQ(u.MaximumLength, 22);
  RtlInitUnicodeString(&u, nullptr);
  EXPECT_EQ(u.Length, 0);
  EXPECT_EQ(u.MaximumLength, 0);
  EXPECT_EQ(u.Buffer, nullptr);

  ANSI_STRING a;
  RtlInitAnsiString(&a, "COM3");
  EXPECT_EQ(a.Length, 4);
  EXPECT_EQ(a.MaximumLength, 5);
}

struct AppendCase {
  std::u16string start;
  USHORT maximum;
  std::u16string appended;
  NTSTATUS status;
  std::u16string result;
  bool terminated;
};

TEST(RtlStrings, AppendFitsOrLeavesTheDestinationAlone) {
  const AppendCase cases[] = {
      {u"\\Device\\", 40, u"Serial", STATUS_SUCCESS, u"\\Device\\Serial", true},
      {u"abc", 10, u"de", STATUS_SUCCESS, u"abcde", false},  // exactly full: no terminator
      {u"abc", 8, u"de", STATUS_BUFFER_TOO_SMALL, u"abc", false},
      {u"", 0, u"x", STATUS_BUFFER_TOO_SMALL, u"", false},
      {u"abc", 6, u"", STATUS_SUCCESS, u"abc", false},
      {u"abc", 9, u"d", STATUS_SUCCESS, u"abcd", false},  // odd maximum: no room for a unit
  };
  for (const auto& c : cases) {
    for (const bool counted : {false, true}) {
      SCOPED_TRACE(std::string(c.start.begin(), c.start.end()) + " + " +
                   std::string(c.appended.begin(), c.appended.end()) +
                   (counted ? " (counted)" : " (terminated)"));
      Text dst(c.start, c.maximum);
      const std::u16string before_tail = dst.tail();
      UNICODE_STRING src = View(c.appended);
      const NTSTATUS status = counted ? RtlAppendUnicodeStringToString(dst.s(), &src)
                                      : RtlAppendUnicodeToString(dst.s(), c.appended.c_str());
      EXPECT_EQ(status, c.status);
      EXPECT_EQ(dst.str(), c.result);
      if (status != STATUS_SUCCESS) {
        EXPECT_EQ(dst.tail(), before_tail) << "wrote on failure";
      }
      EXPECT_EQ(dst.tail().front() == 0, c.terminated);
    }
  }
}

TEST(RtlStrings, CopyTruncatesToWholeUnitsAndTerminatesWhenThereIsRoom) {
  const std::u16string source = u"abcdef";
  UNICODE_STRING src = View(source);
  Text small(u"", 7);
  RtlCopyUnicodeString(small.s(), &src);
  EXPECT_EQ(small.str(), u"abc");
  EXPECT_EQ(small.tail().front(), kSentinel);

  Text large(u"zz", 20);
  RtlCopyUnicodeString(large.s(), &src);
  EXPECT_EQ(large.str(), u"abcdef");
  EXPECT_EQ(large.tail().front(), 0);

  RtlCopyUnicodeString(large.s(), nullptr);
  EXPECT_EQ(large.str(), u"");
}

struct ToTextCase {
  ULONG value;
  ULONG base;
  USHORT maximum;
  NTSTATUS status;
  std::u16string text;
};

TEST(RtlStrings, IntegerToText) {
  const ToTextCase cases[] = {
      {3, 10, 32, STATUS_SUCCESS, u"3"},
      {0, 0, 32, STATUS_SUCCESS, u"0"},
      {4294967295u, 10, 32, STATUS_SUCCESS, u"4294967295"},
      {0x1A, 16, 32, STATUS_SUCCESS, u"1A"},
      {8, 8, 32, STATUS_SUCCESS, u"10"},
      {5, 2, 32, STATUS_SUCCESS, u"101"},
      {49, 10, 6, STATUS_SUCCESS, u"49"},        // text and terminator fit exactly
      {49, 10, 4, STATUS_BUFFER_OVERFLOW, u""},  // no room for the terminator
      {49, 10, 5, STATUS_BUFFER_OVERFLOW, u""},  // odd maximum
      {49, 7, 32, STATUS_INVALID_PARAMETER, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + " base " + std::to_string(c.base));
    Text out(u"", c.maximum);
    const std::u16string before_tail = out.tail();
    EXPECT_EQ(RtlIntegerToUnicodeString(c.value, c.base, out.s()), c.status);
    EXPECT_EQ(out.str(), c.text);
    if (c.status == STATUS_SUCCESS) {
      EXPECT_EQ(out.tail().front(), 0);
    } else {
      EXPECT_EQ(out.tail(), before_tail) << "wrote on failure";
    }
  }
}

struct ToIntegerCase {
  std::u16string text;
  ULONG base;
  NTSTATUS status;
  ULONG value;
};

TEST(RtlStrings, TextToInteger) {
  constexpr ULONG kUntouched = 0xDEADBEEF;
  const ToIntegerCase cases[] = {
      {u"49", 10, STATUS_SUCCESS, 49},
      {u" -12", 10, STATUS_SUCCESS, 0xFFFFFFF4u},
      {u"\t +7", 0, STATUS_SUCCESS, 7},
      {u"0x1A", 0, STATUS_SUCCESS, 26},
      {u"0X1a", 0, STATUS_SUCCESS, 26},
      {u"1A", 16, STATUS_SUCCESS, 26},
      {u"0x1A", 16, STATUS_SUCCESS, 0},  // the prefix is known only to base 0
      {u"0o17", 0, STATUS_SUCCESS, 15},
      {u"0b101", 0, STATUS_SUCCESS, 5},
      {u"019", 0, STATUS_SUCCESS, 19},  // no octal from a leading zero
      {u"12abc", 10, STATUS_SUCCESS, 12},
      {u"", 10, STATUS_SUCCESS, 0},
      {u"-", 10, STATUS_SUCCESS, 0},
      {u"4294967295", 10, STATUS_SUCCESS, 4294967295u},
      {u"FFFFFFFF", 16, STATUS_SUCCESS, 0xFFFFFFFFu},
      {u"4294967296", 10, STATUS_INTEGER_OVERFLOW, kUntouched},
      {u"99999999999999999999999", 10, STATUS_INTEGER_OVERFLOW, kUntouched},
      {u"-4294967296", 10, STATUS_INTEGER_OVERFLOW, kUntouched},
      {u"100000000", 16, STATUS_INTEGER_OVERFLOW, kUntouched},
      {u"49", 3, STATUS_INVALID_PARAMETER, kUntouched},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()) + " base " + std::to_string(c.base));
    UNICODE_STRING s = View(c.text);
    ULONG value = kUntouched;
    EXPECT_EQ(RtlUnicodeStringToInteger(&s, c.base, &value), c.status);
    EXPECT_EQ(value, c.value);
  }
}

TEST(RtlStrings, TextAndIntegerRoundTrip) {
  for (const ULONG base : {2u, 8u, 10u, 16u}) {
    for (const ULONG value : {0u, 1u, 49u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
      Text text(u"", 80);
      ASSERT_EQ(RtlIntegerToUnicodeString(value, base, text.s()), STATUS_SUCCESS);
      ULONG back = 0;
      ASSERT_EQ(RtlUnicodeStringToInteger(text.s(), base, &back), STATUS_SUCCESS);
      EXPECT_EQ(back, value) << "base " << base;
    }
  }
}

// The code page as the C library's converter knows it, for the assigned bytes.
std::u16string SystemWindows1252(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return u"?";
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* pin = in;
  char* pout = out;
  size_t in_left = 1;
  size_t out_left = sizeof out;
  const size_t done = iconv(cd, &pin, &in_left, &pout, &out_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return u"";  // unassigned in this table
  return {static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                static_cast<unsigned char>(out[1]) << 8)};
}

TEST(RtlStrings, AnsiCodePageMatchesTheSystemTableAndRoundTrips) {
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  ANSI_STRING ansi{256, 256, all.data()};
  plat::ex::Pool pool("strings");
  plat::ex::ScopedPool scope(pool);

  UNICODE_STRING wide{};
  ASSERT_EQ(RtlAnsiStringToUnicodeString(&wide, &ansi, TRUE), STATUS_SUCCESS);
  EXPECT_EQ(wide.Length, 512);
  EXPECT_EQ(wide.Buffer[256], 0);
  EXPECT_EQ(pool.LiveByTag(plat::ex::kStringTag).blocks, 1u);
  for (int i = 0; i < 256; ++i) {
    const std::u16string expected = SystemWindows1252(static_cast<unsigned char>(i));
    if (expected.empty()) {
      EXPECT_EQ(wide.Buffer[i], i) << "unassigned byte " << i << " maps to its C1 control";
    } else {
      EXPECT_EQ(wide.Buffer[i], expected[0]) << "byte " << i;
    }
  }
  EXPECT_EQ(wide.Buffer[0x80], 0x20AC);  // euro sign
  EXPECT_EQ(wide.Buffer[0x9F], 0x0178);  // Y with diaeresis

  ANSI_STRING back{};
  ASSERT_EQ(RtlUnicodeStringToAnsiString(&back, &wide, TRUE), STATUS_SUCCESS);
  EXPECT_EQ(std::string(back.Buffer, back.Length), all);
  EXPECT_EQ(back.Buffer[256], 0);
  RtlFreeUnicodeString(&wide);
  RtlFreeAnsiString(&back);
  EXPECT_EQ(pool.Live().blocks, 0u);
  EXPECT_EQ(wide.Buffer, nullptr);
}

TEST(RtlStrings, UnmappableCharactersBecomeQuestionMarks) {
  const std::u16string text = u"\u00E9\u20AC\u0100\u4E2D\U0001F600x";  // e-acute, euro, ...
  UNICODE_STRING wide = View(text);
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), '#');
  ANSI_STRING ansi{0, sizeof buffer, buffer};
  ASSERT_EQ(RtlUnicodeStringToAnsiString(&ansi, &wide, FALSE), STATUS_SUCCESS);
  EXPECT_EQ(std::string(ansi.Buffer, ansi.Length),
            "\xE9\x80??"
            "??x");
  EXPECT_EQ(buffer[ansi.Length], '\0');
}

TEST(RtlStrings, ConversionsIntoShortBuffersWriteNothing) {
  const std::u16string text = u"COM3";
  UNICODE_STRING wide = View(text);
  char narrow[4] = {'#', '#', '#', '#'};
  ANSI_STRING ansi{0, 4, narrow};  // the terminator would not fit
  EXPECT_EQ(RtlUnicodeStringToAnsiString(&ansi, &wide, FALSE), STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(std::string(narrow, 4), "####");
  EXPECT_EQ(ansi.Length, 0);

  char source[] = "COM3";
  ANSI_STRING from{4, 5, source};
  Text out(u"", 8);
  EXPECT_EQ(RtlAnsiStringToUnicodeString(out.s(), &from, FALSE), STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(out.tail(), std::u16string(6, kSentinel));
  Text fits(u"", 10);
  EXPECT_EQ(RtlAnsiStringToUnicodeString(fits.s(), &from, FALSE), STATUS_SUCCESS);
  EXPECT_EQ(fits.str(), u"COM3");
}

TEST(RtlStrings, AllocationFailureIsReported) {
  plat::ex::Pool pool("strings");
  plat::ex::ScopedPool scope(pool);
  pool.FailTag(plat::ex::kStringTag);
  char source[] = "COM3";
  ANSI_STRING from{4, 5, source};
  UNICODE_STRING wide{};
  EXPECT_EQ(RtlAnsiStringToUnicodeString(&wide, &from, TRUE), STATUS_NO_MEMORY);
  EXPECT_EQ(wide.Buffer, nullptr);
}

struct CompareCase {
  std::u16string a;
  std::u16string b;
  bool case_insensitive;
  int sign;
};

TEST(RtlStrings, CompareFoldsAsciiAndLatin1) {
  const CompareCase cases[] = {
      {u"SERIALCOMM", u"SerialComm", true, 0},
      {u"SERIALCOMM", u"SerialComm", false, -1},
      {u"Parameters", u"Parameter", true, 1},
      {u"abc", u"abd", true, -1},
      {u"\u00E9t\u00E9", u"\u00C9T\u00C9", true, 0},  // accented letters
      {u"\u00FF", u"\u0178", true, 0},                // y with diaeresis and its capital
      {u"\u0161\u0153\u017E", u"\u0160\u0152\u017D", true, 0},
      {u"\u00F7", u"\u00D7", true, 1},  // division and multiplication signs are no pair
      {u"stra\u00DFe", u"STRASSE", true, 1},
      {u"", u"", true, 0},
      {u"", u"a", false, -1},
  };
  for (const auto& c : cases) {
    UNICODE_STRING a = View(c.a);
    UNICODE_STRING b = View(c.b);
    const LONG result = RtlCompareUnicodeString(&a, &b, c.case_insensitive);
    const int sign = (result > 0) - (result < 0);
    EXPECT_EQ(sign, c.sign) << "case " << (&c - cases);
    EXPECT_EQ(RtlEqualUnicodeString(&a, &b, c.case_insensitive), c.sign == 0 ? TRUE : FALSE);
    const LONG reverse = RtlCompareUnicodeString(&b, &a, c.case_insensitive);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign) << "case " << (&c - cases);
  }
}

TEST(RtlStrings, MemoryRoutines) {
  std::array<UCHAR, 8> a{1, 2, 3, 4, 5, 6, 7, 8};
  std::array<UCHAR, 8> b = a;
  b[5] = 0;
  EXPECT_EQ(RtlCompareMemory(a.data(), b.data(), 8), 5u);
  EXPECT_EQ(RtlCompareMemory(a.data(), b.data(), 3), 3u);
  EXPECT_EQ(RtlCompareMemory(a.data(), b.data(), 0), 0u);

  RtlMoveMemory(a.data() + 2, a.data(), 5);  // overlapping
  EXPECT_EQ(a, (std::array<UCHAR, 8>{1, 2, 1, 2, 3, 4, 5, 8}));
  RtlCopyMemory(b.data(), a.data(), 8);
  EXPECT_EQ(a, b);
  RtlFillMemory(a.data() + 1, 3, 0xAB);
  EXPECT_EQ(a, (std::array<UCHAR, 8>{1, 0xAB, 0xAB, 0xAB, 3, 4, 5, 8}));
  RtlZeroMemory(a.data(), 7);
  EXPECT_EQ(a, (std::array<UCHAR, 8>{0, 0, 0, 0, 0, 0, 0, 8}));
  RtlCopyMemory(nullptr, nullptr, 0);
}

TEST(RtlStrings, ObjectAttributesNameTheObject) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\Registry\\Machine\\HARDWARE");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, 8,
                             nullptr);
  EXPECT_EQ(attributes.Length, sizeof(OBJECT_ATTRIBUTES));
  EXPECT_EQ(attributes.ObjectName, &name);
  EXPECT_EQ(attributes.RootDirectory, 8u);
  EXPECT_EQ(attributes.Attributes, 0x240u);
  EXPECT_EQ(attributes.SecurityQualityOfService, nullptr);
}

}  // namespace
