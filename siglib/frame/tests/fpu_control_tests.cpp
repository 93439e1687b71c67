#include <gtest/gtest.h>

#include <cfenv>
#include <thread>
#include <vector>

#include "siglib/frame/fpu_control.h"
#include "siglib/tests/support/fp_env.h"

namespace qvls_test {
namespace {

constexpr std::uint32_t kRoundDown = 0x400;
constexpr std::uint32_t kRoundUp = 0x800;
constexpr std::uint32_t kTruncate = 0xC00;
constexpr std::uint32_t kSinglePrecision = 0x000;  // precision control, bits 8 and 9

std::uint16_t ControlWord() { return ReadFpEnvironment().x87_control; }

// Puts the whole floating-point environment back after each test.
class FpuControl : public ::testing::Test {
 protected:
  void SetUp() override { std::fegetenv(&saved_); }
  void TearDown() override { std::fesetenv(&saved_); }

 private:
  std::fenv_t saved_;
};

// An inexact x87 quotient, rounded by the control word in force. The
// volatile result pins the division before any later change of the word.
long double X87Quotient() {
  volatile long double one = 1.0L;
  volatile long double three = 3.0L;
  volatile long double quotient = one / three;
  return quotient;
}

TEST_F(FpuControl, SetLoadsTheMaskedBitsAndReturnsTheOldWord) {
  const std::uint16_t before = ControlWord();
  EXPECT_EQ(qvlsSetFpuControl(kTruncate, qvls::fpu::kRoundingMask), before);
  EXPECT_EQ(ControlWord(), (before & ~0xC00u) | kTruncate);
  EXPECT_EQ(std::fegetround(), FE_TOWARDZERO);

  // Bits of the value outside the mask are not loaded.
  qvlsSetFpuControl(0xFFFF & ~0xC00u, qvls::fpu::kRoundingMask);
  EXPECT_EQ(ControlWord(), before & ~0xC00u);
}

TEST_F(FpuControl, LoadedRoundingGovernsX87Arithmetic) {
  qvlsSetFpuControl(kRoundDown, qvls::fpu::kRoundingMask);
  const long double down = X87Quotient();
  qvlsSetFpuControl(kRoundUp, qvls::fpu::kRoundingMask);
  const long double up = X87Quotient();
  EXPECT_LT(down, up);
}

TEST_F(FpuControl, PrecisionControlShortensX87Results) {
  const std::uint16_t before = ControlWord();
  const std::uint32_t old =
      qvlsChangeFpuControl(kSinglePrecision, qvls::fpu::kRoundingPrecisionMask);
  EXPECT_EQ(old, before);
  volatile long double one = 1.0L;
  volatile long double tiny = 0x1p-30L;
  volatile long double single = one + tiny;  // 24 significant bits: the tiny part is lost
  qvlsLoadFpuControl(old);
  volatile long double extended = one + tiny;
  EXPECT_EQ(single, 1.0L);
  EXPECT_GT(extended, 1.0L);
  EXPECT_EQ(ControlWord(), before);
}

TEST_F(FpuControl, ChangeLoadsOnlyADifferentSetting) {
  const std::uint16_t before = ControlWord();
  ASSERT_EQ(before & 0xC00u, 0u) << "the thread starts rounding to nearest";
  EXPECT_EQ(qvlsChangeFpuControl(0, qvls::fpu::kRoundingMask), before);
  EXPECT_EQ(ControlWord(), before);

  const std::uint32_t old = qvlsChangeFpuControl(kRoundUp, qvls::fpu::kRoundingMask);
  EXPECT_EQ(old, before);
  EXPECT_EQ(ControlWord(), before | kRoundUp);
  qvlsLoadFpuControl(old);
  EXPECT_EQ(ControlWord(), before);
}

TEST_F(FpuControl, SetWithMaskZeroReloadsTheSameWord) {
  const std::uint16_t before = ControlWord();
  EXPECT_EQ(qvlsSetFpuControl(0xFFFF, 0), before);
  EXPECT_EQ(ControlWord(), before);
}

TEST_F(FpuControl, OnlyTheCallingThreadsWordChanges) {
  const std::uint16_t before = ControlWord();
  std::uint16_t in_thread = 0;
  std::thread([&] {
    qvlsSetFpuControl(kTruncate, qvls::fpu::kRoundingMask);
    in_thread = ControlWord();
  }).join();
  EXPECT_EQ(in_thread & 0xC00u, kTruncate);
  EXPECT_EQ(ControlWord(), before);
}

// A control word that counts its loads, for what the real word cannot show.
struct CountingWord {
  std::uint16_t word;
  std::vector<std::uint16_t> loads;
  std::uint16_t Read() { return word; }
  void Load(std::uint16_t w) {
    loads.push_back(w);
    word = w;
  }
};

TEST(FpuControlRules, SetAlwaysLoadsChangeOnlyWhenTheSettingDiffers) {
  const struct {
    const char* name;
    std::uint16_t word;
    std::uint32_t value, mask;
    bool change_loads;
    std::uint16_t result;
  } cases[] = {
      {"rounding already nearest", 0x037F, 0x000, 0xC00, false, 0x037F},
      {"rounding to truncation", 0x037F, 0xC00, 0xC00, true, 0x0F7F},
      {"rounding already truncation", 0x0F7F, 0xC00, 0xC00, false, 0x0F7F},
      {"rounding and precision", 0x037F, 0x000, 0xF00, true, 0x007F},
      {"precision kept, rounding changed", 0x027F, 0x600, 0xF00, true, 0x067F},
      {"mask zero", 0x037F, 0x000, 0x000, false, 0x037F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountingWord set{c.word, {}};
    EXPECT_EQ(qvls::fpu::SetControl(set, c.value, c.mask), c.word);
    EXPECT_EQ(set.loads, std::vector<std::uint16_t>{c.result}) << "set loads once, always";

    CountingWord change{c.word, {}};
    EXPECT_EQ(qvls::fpu::ChangeControl(change, c.value, c.mask), c.word);
    EXPECT_EQ(change.loads.size(), c.change_loads ? 1u : 0u);
    EXPECT_EQ(change.word, c.result);
  }
}

}  // namespace
}  // namespace qvls_test
