// The line-profile store with its registry value: the three operations, the
// stored-profile test over the first 100 bytes, and stored values that are
// not a whole table, which leave the store empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "layer2/corecode/mt/dsp/line_profile_store.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One memory record of id 0 at key 0x8430 with two words, and the end.
const Bytes kTable = {0x01, 0x00, 0x30, 0x84, 0x02, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0x30};

Bytes Store() {
  const auto& bytes = line_profile_store().bytes;
  return Bytes(bytes.begin(), bytes.end());
}

Bytes Empty() { return Bytes(kLineProfileBytes, 0xFF); }

Bytes StoreHolding(const Bytes& table) {
  Bytes store = Empty();
  std::copy(table.begin(), table.end(), store.begin());
  return store;
}

class ProfileStore : public RegMachineTest {};

TEST_F(ProfileStore, SaveClearAndLoadGoThroughTheRegistry) {
  BootWith("");
  RunOn([this] {
    ModemTask_FRDSPImageStore(kTable.data(), kTable.size());
    EXPECT_EQ(Store(), StoreHolding(kTable));
    EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"qcData"), kTable);
    EXPECT_TRUE(ModemTask_ProfileStored());

    // A second start loads what was saved, whatever the store held.
    line_profile_store().bytes.fill(0x55);
    ModemTask_FRDSPImageInit();
    EXPECT_EQ(Store(), StoreHolding(kTable));

    // More than the store holds is refused: nothing saved, nothing copied.
    const Bytes too_long(kLineProfileBytes + 1, 0x01);
    ModemTask_FRDSPImageStore(too_long.data(), too_long.size());
    EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"qcData"), kTable);
    EXPECT_EQ(Store(), StoreHolding(kTable));

    ModemTask_FRDSPImageClear();
    EXPECT_EQ(Store(), Empty());
    EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"qcData"), Empty());
    EXPECT_FALSE(ModemTask_ProfileStored());
  });
}

TEST_F(ProfileStore, StoredMeansADataByteAmongTheFirstHundred) {
  struct Row {
    const char* what;
    std::uint8_t fill;
    std::size_t at;  // where a 0x01 goes; kLineProfileBytes: nowhere
    bool stored;
  };
  const Row rows[] = {
      {"all 0xFF", 0xFF, kLineProfileBytes, false},
      {"all zero", 0x00, kLineProfileBytes, false},
      {"a byte at 0", 0xFF, 0, true},
      {"a byte at 99", 0x00, 99, true},
      {"a byte at 100 only", 0xFF, 100, false},
  };
  BootWith("");
  RunOn([&] {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      auto& bytes = line_profile_store().bytes;
      bytes.fill(row.fill);
      if (row.at < kLineProfileBytes) bytes[row.at] = 0x01;
      EXPECT_EQ(ModemTask_ProfileStored(), row.stored);
    }
  });
}

TEST_F(ProfileStore, AStoredValueThatIsNotAWholeTableLeavesTheStoreEmpty) {
  const auto with = [](Bytes table, std::size_t at, std::uint8_t value) {
    table[at] = value;
    return table;
  };
  struct Row {
    const char* what;
    Bytes stored;
    bool taken;
  };
  Bytes past_the_end = kTable;
  past_the_end.resize(8);  // the record's words cut short, no end byte
  const std::vector<Row> rows = {
      {"a whole table", kTable, true},
      {"empty", {}, false},
      {"4001 bytes", Bytes(kLineProfileBytes + 1, 0x30), false},
      {"no end byte", Bytes(kTable.begin(), kTable.end() - 1), false},
      {"a record running past the end", past_the_end, false},
      {"a word count of 0xFFFF", with(with(kTable, 4, 0xFF), 5, 0xFF), false},
      {"an unknown attribute", with(kTable, 0, 0x81), false},
      {"a header cut short", Bytes{0x01, 0x00, 0x30}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    BootWith(Parameters(BinaryValue("qcData", row.stored)));
    RunOn([&] {
      line_profile_store().bytes.fill(0x55);
      ModemTask_FRDSPImageInit();
      EXPECT_EQ(Store(), row.taken ? StoreHolding(row.stored) : Empty());
    });
    machine_->Shutdown();
  }
}

}  // namespace
}  // namespace vxctl::testing
