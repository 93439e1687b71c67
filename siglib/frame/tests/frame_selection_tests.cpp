#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <tuple>
#include <utility>

#include "platform/cpu/identity.h"
#include "siglib/frame/cpu.h"
#include "siglib/frame/frame.h"
#include "siglib/frame/tests/fake_processors.h"
#include "siglib/frame/tests/probe_table.h"
#include "siglib/qvls.h"
#include "siglib/tests/support/scoped_slots.h"

namespace qvls_test {
namespace {

using plat::cpu::FakeIdentity;
using plat::cpu::ScopedIdentity;

const FakeIdentity kW7Processor = MakersProcessor(6, kM6Flag | kA6Flag | kW7Flag);
const FakeIdentity kA6Processor = MakersProcessor(6, kM6Flag | kA6Flag);
const FakeIdentity kM6Processor = MakersProcessor(6, kM6Flag);

// The probe table with record k's entry of `column` taken away.
qvls_variant_records WithoutEntry(std::int32_t k, std::int32_t column) {
  qvls_variant_records table = kProbeTable;
  qvls_for_each_record(table, [&](std::int32_t number, auto& record) {
    if (number == k) record.entry[column] = nullptr;
  });
  return table;
}

TEST(FrameSelection, ProcessorTypeChoosesTheColumn) {
  const struct {
    std::int32_t cpu_type;
    std::int32_t column;
  } cases[] = {
      {0, QVLS_VARIANT_PX},       {1, QVLS_VARIANT_PX},  {2, QVLS_VARIANT_PX},
      {3, QVLS_VARIANT_PX},       {4, QVLS_VARIANT_M6},  {5, QVLS_VARIANT_A6},
      {6, QVLS_VARIANT_W7},       {7, QVLS_VARIANT_W7},  {8, QVLS_VARIANT_W7},
      {9, QVLS_VARIANT_PX},       {16, QVLS_VARIANT_PX}, {17, QVLS_VARIANT_PX},
      {-1, QVLS_VARIANT_PX},      {-6, QVLS_VARIANT_PX}, {INT_MIN, QVLS_VARIANT_PX},
      {INT_MAX, QVLS_VARIANT_PX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qvlsVariantOfCpuType(c.cpu_type), c.column) << "cpu_type " << c.cpu_type;
  }
}

TEST(FrameSelection, EachProcessorTypeInstallsItsColumnInEverySlot) {
  for (const TypedProcessor& p : kProcessorOfEachType) {
    SCOPED_TRACE(p.name);
    ASSERT_EQ(qvlsCpuType(p.identity), p.cpu_type);
    qvls_frame frame(kProbeTable, QVLS_VARIANT_PX);
    EXPECT_EQ(qvlsCpuVariant(p.identity), p.column);
    EXPECT_EQ(qvlsInit(frame, kProbeTable, p.identity), 1);
    EXPECT_EQ(SlotColumns(frame.slots, kProbeTable), AllSlots(p.column));
    EXPECT_EQ(frame.variant.load(), p.column);
  }
}

TEST(FrameSelection, ProcessSlotsHoldPxUntilTheFirstInit) {
  // Every test that changes the process's slots puts them back.
  qvls_for_each_record(qvls_variant_table, [](std::int32_t k, const auto& record) {
    EXPECT_EQ((qvls_slots.*record.slot).load(), record.entry[QVLS_VARIANT_PX]) << qvls_slot_name(k);
  });
  EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_PX);
  EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->cpu_tag, "px");
}

TEST(FrameSelection, SecondInitInstallsTheSameColumnAgain) {
  qvls_frame frame(kProbeTable, QVLS_VARIANT_PX);
  ASSERT_EQ(qvlsInit(frame, kProbeTable, kA6Processor), 1);
  EXPECT_EQ(qvlsInit(frame, kProbeTable, kA6Processor), 1);
  EXPECT_EQ(SlotColumns(frame.slots, kProbeTable), AllSlots(QVLS_VARIANT_A6));
  EXPECT_EQ(frame.variant.load(), QVLS_VARIANT_A6);

  // The same through the process's entry, on the simulated default processor.
  ScopedSlots restore;
  EXPECT_EQ(qvlsInit(), 1);
  EXPECT_EQ(qvlsInit(), 1);
  EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_W7);
  EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->cpu_tag, "w7");
}

TEST(FrameSelection, NullEntryMakesSelectionFallBackToTheNextColumn) {
  for (std::int32_t k : {0, 1, 57, 113, 114}) {
    SCOPED_TRACE(qvls_slot_name(k));
    const qvls_variant_records table = WithoutEntry(k, QVLS_VARIANT_W7);

    // The w7 column alone fills slots 0 to k - 1 and stops at the gap.
    qvls_frame frame(table, QVLS_VARIANT_PX);
    EXPECT_EQ(qvlsFillSlots(frame, table, QVLS_VARIANT_W7), 0);
    std::vector<std::int32_t> partly = AllSlots(QVLS_VARIANT_PX);
    std::fill(partly.begin(), partly.begin() + k, QVLS_VARIANT_W7);
    EXPECT_EQ(SlotColumns(frame.slots, table), partly);

    // Selection on a w7 processor then rewrites every slot from a6.
    qvls_frame fresh(table, QVLS_VARIANT_PX);
    EXPECT_EQ(qvlsSelectVariant(fresh, table, kW7Processor), 1);
    EXPECT_EQ(SlotColumns(fresh.slots, table), AllSlots(QVLS_VARIANT_A6));
    EXPECT_EQ(fresh.variant.load(), QVLS_VARIANT_A6);
  }
}

TEST(FrameSelection, NoCompleteColumnFailsAndKeepsTheVariant) {
  qvls_variant_records table = kProbeTable;
  constexpr std::int32_t k = 20;
  qvls_for_each_record(table, [&](std::int32_t number, auto& record) {
    if (number == k) record.entry[QVLS_VARIANT_W7] = record.entry[QVLS_VARIANT_A6] = nullptr;
  });
  qvls_frame frame(table, QVLS_VARIANT_PX);
  ASSERT_EQ(qvlsSelectVariant(frame, kProbeTable, kM6Processor), 1);

  // An a6 processor finds a6 incomplete and installs m6.
  EXPECT_EQ(qvlsSelectVariant(frame, table, kA6Processor), 1);
  EXPECT_EQ(frame.variant.load(), QVLS_VARIANT_M6);

  // Take m6 and px away as well: every column of the row fails.
  qvls_for_each_record(table, [&](std::int32_t number, auto& record) {
    if (number == k) record.entry[QVLS_VARIANT_M6] = record.entry[QVLS_VARIANT_PX] = nullptr;
  });
  EXPECT_EQ(qvlsSelectVariant(frame, table, kW7Processor), 0);
  EXPECT_EQ(frame.variant.load(), QVLS_VARIANT_M6) << "the variant keeps its value";
  // The last column tried (px) wrote the slots before the gap; the rest stay m6.
  std::vector<std::int32_t> expected = AllSlots(QVLS_VARIANT_M6);
  std::fill(expected.begin(), expected.begin() + k, QVLS_VARIANT_PX);
  EXPECT_EQ(SlotColumns(frame.slots, kProbeTable), expected);
}

TEST(FrameSelection, ColumnOutsideTheTableFillsNothing) {
  qvls_frame frame(kProbeTable, QVLS_VARIANT_M6);
  for (std::int32_t column : {-1, 4, 5, INT_MIN, INT_MAX}) {
    EXPECT_EQ(qvlsFillSlots(frame, kProbeTable, column), 0) << column;
  }
  EXPECT_EQ(SlotColumns(frame.slots, kProbeTable), AllSlots(QVLS_VARIANT_M6));
}

TEST(FrameSelection, IdentityChangedBetweenInitsGivesTheNewColumn) {
  ScopedSlots restore;
  {
    ScopedIdentity m6(kM6Processor);
    EXPECT_EQ(qvlsInit(), 1);
    EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_M6);
    EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->cpu_tag, "m6");
  }
  {
    ScopedIdentity a6(kA6Processor);
    EXPECT_EQ(qvlsInit(), 1);
    EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_A6);
    EXPECT_STREQ(qvls_slots.qvlsGetVersion.load()()->cpu_tag, "a6");
  }
  {
    ScopedIdentity host(plat::cpu::HostPassthrough());
    EXPECT_EQ(qvlsInit(), 1) << "a processor of another vendor is no failure";
    EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_PX);
  }
}

TEST(FrameScope, ScopedSlotsPutThePreviousColumnBack) {
  {
    ScopedSlots w7(QVLS_VARIANT_W7, kProbeTable);
    ASSERT_TRUE(w7.installed());
    EXPECT_EQ(SlotColumns(qvls_slots, kProbeTable), AllSlots(QVLS_VARIANT_W7));
    EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_W7);
    {
      ScopedSlots m6(QVLS_VARIANT_M6, kProbeTable);
      EXPECT_EQ(SlotColumns(qvls_slots, kProbeTable), AllSlots(QVLS_VARIANT_M6));
      ScopedIdentity a6(kA6Processor);
      ASSERT_EQ(qvlsInit(), 1);
      EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_A6);
    }
    EXPECT_EQ(SlotColumns(qvls_slots, kProbeTable), AllSlots(QVLS_VARIANT_W7));
    EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_W7);
  }
  EXPECT_EQ(SlotColumns(qvls_slots, qvls_variant_table)[qvls_slot_index::qvlsGetVersion],
            QVLS_VARIANT_PX);
  EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_PX);
}

TEST(FrameScope, ScopeReportsAColumnItCouldNotInstall) {
  const qvls_variant_records table = WithoutEntry(30, QVLS_VARIANT_A6);
  ScopedSlots a6(QVLS_VARIANT_A6, table);
  EXPECT_FALSE(a6.installed());
  EXPECT_EQ(qvls_variant.load(), QVLS_VARIANT_PX);
}

// A value of any argument type whose bits differ from argument to argument.
template <class T>
T ArgumentValue(std::size_t position) {
  const std::uint64_t pattern = 0x0102030405060708ull * (position + 1) + 0x11 * position;
  T value;
  std::memcpy(&value, &pattern, sizeof(T));
  return value;
}

template <std::int32_t Slot, class Result, class... Args>
void ExpectJumpEntryReaches(Result (*jump)(Args...), std::int32_t column) {
  SCOPED_TRACE(qvls_slot_name(Slot));
  auto args = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return std::tuple<Args...>{ArgumentValue<Args>(I)...};
  }
  (std::index_sequence_for<Args...>{});

  last_probe = {};
  if constexpr (std::is_void_v<Result>) {
    std::apply(jump, args);
  } else {
    EXPECT_EQ(Bits(std::apply(jump, args)), ProbeResult(Slot, column)) << "result passed back";
  }
  EXPECT_EQ(last_probe.slot, Slot);
  EXPECT_EQ(last_probe.column, column);
  ASSERT_EQ(last_probe.arg_count, sizeof...(Args));
  const auto sent = std::apply(
      [](const auto&... arg) { return std::array<std::uint64_t, sizeof...(Args)>{Bits(arg)...}; },
      args);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(last_probe.args[i], sent[i]) << "argument " << i;
  }
}

TEST(FrameScope, JumpEntriesCallTheColumnInstalledNow) {
  for (std::int32_t column : {QVLS_VARIANT_PX, QVLS_VARIANT_M6, QVLS_VARIANT_A6, QVLS_VARIANT_W7}) {
    ScopedSlots installed(column, kProbeTable);
#define QVLS_CHECK_JUMP_ENTRY(number, name, result, params, args, jump) \
  QVLS_IF_JUMP(jump, ExpectJumpEntryReaches<number>(&::name, column);)
    QVLS_SLOT_LIST(QVLS_CHECK_JUMP_ENTRY)
#undef QVLS_CHECK_JUMP_ENTRY
  }
}

}  // namespace
}  // namespace qvls_test
