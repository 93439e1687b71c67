#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "siglib/frame/frame.h"
#include "siglib/frame/tests/fake_processors.h"
#include "siglib/tests/support/scoped_slots.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

constexpr char kUnknown[] = "Unknown Status Code";

// The codes that have a text: -9999, -9998, and -124 to 27 except -89 to -84, -68, -3 and -1.
bool HasText(std::int64_t code) {
  if (code == -9999 || code == -9998) return true;
  if (code < -124 || code > 27) return false;
  return !(code >= -89 && code <= -84) && code != -68 && code != -3 && code != -1;
}

class StatusText : public VariantTest {
 protected:
  std::string Text(qvls_status code) {
    const char* text = Call(qvls_variant_table.qvlsStatusText, code);
    EXPECT_NE(text, nullptr) << code;
    return text != nullptr ? text : "";
  }
};

TEST_P(StatusText, KnownCodesGiveTheirTexts) {
  const struct {
    qvls_status code;
    const char* text;
  } cases[] = {
      {0, "No error, it's OK"},
      {-8, "Null pointer error"},
      {3, "Negative value(s) of the argument in the function Sqrt"},
      {-9999, "The requested mode is currently not supported"},
      {-9998, "The target cpu is not supported"},
      {-124, "Data under run error"},
      {-120, "A compromised key causes suspansion of requested cryptographic operation"},
      {-80, "Frame width is less then 8"},
      {-30, "Phase value is out of range: 0 <= phase < factor"},
      {-17, "Context parameter doesn't match the operation"},
      {-6, "Wrong value of data size"},
      {-2, "Unknown/unspecified error"},
      {13,
       "Quantized LP syntethis filter stability check is applied at the low boundary of [0,pi]"},
      {20, "The target cpu is not Genuine Vexor"},
      {27, "Length of one of the destination strings is more than expected"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.code), c.text) << c.code;
}

TEST_P(StatusText, CodesOutsideTheTableGiveTheDefaultText) {
  for (std::int64_t code = -10100; code <= 100; ++code) {
    const std::string text = Text(static_cast<qvls_status>(code));
    if (HasText(code)) {
      EXPECT_NE(text, kUnknown) << code;
    } else {
      EXPECT_EQ(text, kUnknown) << code;
    }
  }
  // No range arithmetic, no truncation to 16 bits: far values are unknown too.
  for (qvls_status code : {INT_MIN, INT_MAX, 0x10000, 0x10000 - 8, -0x10000, -0x10000 + 3}) {
    EXPECT_EQ(Text(code), kUnknown) << code;
  }
}

TEST_P(StatusText, ThreeTextsServeTwoCodesEachAndNoOthersRepeat) {
  std::set<std::string> texts;
  int codes = 0;
  for (std::int64_t code = -10000; code <= 27; ++code) {
    if (!HasText(code)) continue;
    ++codes;
    texts.insert(Text(static_cast<qvls_status>(code)));
  }
  EXPECT_EQ(codes, 145);
  EXPECT_EQ(texts.size(), 142u);
  EXPECT_EQ(Text(-101), Text(-75));
  EXPECT_EQ(Text(-101), "Illegal Huffman code during MV stream processing");
  EXPECT_EQ(Text(-100), Text(-74));
  EXPECT_EQ(Text(-99), Text(-73));
}

QVLS_INSTANTIATE_VARIANTS(StatusText);

class Version : public VariantTest {};

TEST_P(Version, EachColumnDescribesItsVariant) {
  const qvls_version* v = Call(qvls_variant_table.qvlsGetVersion);
  ASSERT_NE(v, nullptr);
  const std::string tag = VariantTag(variant());
  EXPECT_EQ(v->major_version, 3);
  EXPECT_EQ(v->minor_version, 0);
  EXPECT_EQ(v->first_build, 18);
  EXPECT_EQ(v->second_build, 57);
  EXPECT_EQ(std::string(v->cpu_tag, 4), tag + std::string(2, '\0'));
  EXPECT_STREQ(v->library_name, ("qvls" + tag + "l.lib").c_str());
  EXPECT_STREQ(v->version_text, "v3.0 gold");
  EXPECT_STREQ(v->build_date, "Nov 26 2002");
  // One text serves all four records.
  const qvls_version* px_record = qvls_variant_table.qvlsGetVersion.entry[QVLS_VARIANT_PX]();
  EXPECT_EQ(v->version_text, px_record->version_text);
  EXPECT_EQ(v->build_date, px_record->build_date);
}

QVLS_INSTANTIATE_VARIANTS(Version);

TEST(VersionOfTheSlots, PxBeforeInitThenTheInstalledColumn) {
  qvls_frame frame(qvls_variant_table, QVLS_VARIANT_PX);
  EXPECT_STREQ(frame.slots.qvlsGetVersion.load()()->cpu_tag, "px");
  for (const TypedProcessor& p : kProcessorOfEachType) {
    ASSERT_EQ(qvlsInit(frame, qvls_variant_table, p.identity), 1);
    EXPECT_STREQ(frame.slots.qvlsGetVersion.load()()->cpu_tag, VariantTag(p.column)) << p.name;
  }

  ScopedSlots restore;
  EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->library_name, "qvlspxl.lib");
  ASSERT_EQ(qvlsInit(), 1);
  EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->library_name, "qvlsw7l.lib");
}

}  // namespace
}  // namespace qvls_test
