// The saved data: caller-ID text within its 100 characters and not
// rewritten when unchanged, round trips of the binary values, and sizes
// other than the table's refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/saved_data.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"

namespace vxctl::testing {
namespace {

class RegSavedData : public RegMachineTest {};

TEST_F(RegSavedData, CallerIdTextOfAtMostOneHundredCharactersRoundTrips) {
  struct Case {
    std::size_t length;
    int saved;
    std::u16string stored;  // the value afterwards
  };
  const Case cases[] = {
      {0, 1, u""},
      {100, 1, std::u16string(100, u'N')},
      {101, 0, u""},
  };
  BootWith("", /*on_state=*/true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string text(c.length, 'N');
    RunOn([&] {
      EXPECT_EQ(reg_save_caller_id_data(text.c_str()), c.saved);
      char buffer[kCallerIdDataMax + 1];
      std::memset(buffer, 'x', sizeof buffer);
      EXPECT_EQ(reg_load_caller_id_data(buffer), 1);
      EXPECT_EQ(std::string(buffer), std::string(c.stored.begin(), c.stored.end()));
    });
    EXPECT_EQ(StringValue(kernel(), kParametersKey, u"CallerIdData"), c.stored);
  }
}

TEST_F(RegSavedData, RepeatedCallerIdSaveWritesNothing) {
  BootWith("", /*on_state=*/true);
  RunOn([&] {
    EXPECT_EQ(reg_save_caller_id_data("0102 5551234"), 1);
    const std::uint64_t writes = StateWrites();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(reg_save_caller_id_data("0102 5551234"), 1);
    EXPECT_EQ(StateWrites(), writes);
    EXPECT_EQ(reg_save_caller_id_data("0102 5559999"), 1);
    EXPECT_GT(StateWrites(), writes);
  });
}

TEST_F(RegSavedData, TooLongStoredCallerIdIsAbsent) {
  BootWith(Parameters("\"CallerIdData\"=sz:\"" + std::string(101, 'L') + "\"\n"));
  RunOn([] {
    char buffer[kCallerIdDataMax + 1] = "kept";
    EXPECT_EQ(reg_load_caller_id_data(buffer), 0);
    EXPECT_STREQ(buffer, "kept");
  });
}

TEST_F(RegSavedData, BinaryValuesRoundTripAndWrongSizesAreRefused) {
  BootWith("");
  RunOn([] {
    const std::vector<std::uint8_t> qc = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_TRUE(reg_save_qc_data(qc));
    std::vector<std::uint8_t> qc_back(16, 0);
    ULONG size = 16;
    EXPECT_TRUE(reg_load_qc_data(qc_back.data(), &size));
    EXPECT_EQ(size, qc.size());
    EXPECT_EQ(std::vector<std::uint8_t>(qc_back.begin(), qc_back.begin() + 9), qc);
    size = 8;  // the stored value is larger than the caller's room
    std::vector<std::uint8_t> small(8, 0xEE);
    EXPECT_FALSE(reg_load_qc_data(small.data(), &size));
    EXPECT_EQ(small, std::vector<std::uint8_t>(8, 0xEE));

    const std::vector<std::uint8_t> moh = {1, 2, 3};
    EXPECT_TRUE(reg_save_moh_parms(moh));
    EXPECT_FALSE(reg_save_moh_parms(std::vector<std::uint8_t>{1, 2}));
    EXPECT_FALSE(reg_save_moh_parms(std::vector<std::uint8_t>{1, 2, 3, 4}));
    std::uint8_t moh_back[4] = {};
    size = 4;
    EXPECT_TRUE(reg_load_moh_parms(moh_back, &size));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(moh_back, moh_back + 3), moh);

    EXPECT_TRUE(reg_save_hook_flash_method(0x0102));
    EXPECT_EQ(reg_load_hook_flash_method(), 1);
    EXPECT_EQ(reg_settings().hook_flash_method, 0x0102);
  });
}

TEST_F(RegSavedData, StoredValuesOfTheWrongSizeAreAbsent) {
  BootWith(
      Parameters("\"MohParms\"=binary:01 02\n\"HookFlashMethod\"=binary:02\n"
                 "\"Feature1\"=dword:0x00000001\n\"gpio3_reset_1724\"=binary:01 01\n"));
  RunOn([] {
    std::uint8_t moh[3] = {7, 7, 7};
    ULONG size = 3;
    EXPECT_FALSE(reg_load_moh_parms(moh, &size));
    EXPECT_EQ(moh[0], 7);
    reg_settings().hook_flash_method = 1;
    EXPECT_EQ(reg_load_hook_flash_method(), 0);
    EXPECT_EQ(reg_settings().hook_flash_method, 1);
    std::uint8_t feature1 = 0x33;
    EXPECT_EQ(reg_load_feature1(&feature1), 0);
    EXPECT_EQ(feature1, 0x33);
    reg_settings().gpio3_reset = 5;
    EXPECT_EQ(reg_load_gpio3_reset(), 19u);
    EXPECT_EQ(reg_settings().gpio3_reset, 0);
  });
}

TEST_F(RegSavedData, OneByteValuesAndTheOverrideLoad) {
  BootWith(Parameters("\"Feature1\"=binary:5a\n\"gpio3_reset_1724\"=binary:01\n"));
  RunOn([] {
    std::uint8_t feature1 = 0;
    EXPECT_EQ(reg_load_feature1(&feature1), 1);
    EXPECT_EQ(feature1, 0x5A);
    EXPECT_EQ(reg_load_gpio3_reset(), 0u);
    EXPECT_EQ(reg_settings().gpio3_reset, 1);
    EXPECT_EQ(reg_save_cid_config_override(0x1A5), 1);
  });
  EXPECT_EQ(DwordValue(kernel(), kParametersKey, u"CidConfigOverride"), 0x1A5u);
}

TEST_F(RegSavedData, WithoutRegistryContextNothingIsReadOrWritten) {
  BootWith(Parameters("\"Feature1\"=binary:5a\n"));
  RunOn([] {
    void* context = reg_settings().context.exchange(nullptr);
    std::uint8_t feature1 = 0;
    EXPECT_EQ(reg_load_feature1(&feature1), 0);
    EXPECT_EQ(reg_save_caller_id_data("1"), 0);
    EXPECT_FALSE(reg_save_qc_data(std::vector<std::uint8_t>{1}));
    EXPECT_EQ(reg_save_cid_config_override(1), 0);
    reg_settings().context.store(context);
  });
  EXPECT_EQ(StringValue(kernel(), kParametersKey, u"CallerIdData"), std::nullopt);
}

}  // namespace
}  // namespace vxctl::testing
