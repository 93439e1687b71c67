#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "siglib/frame/placeholder.h"
#include "siglib/frame/slots.h"

namespace qvls_test {
namespace {

// Which column's entry each column of a slot holds, as the variant tables of
// the families give it: one letter per column px, m6, a6, w7, naming the
// column whose entry it is (p px, m m6, a a6, w w7). "pmaw": four entries of
// their own; "pppw": m6 and a6 run the px entry, w7 has its own.
struct Shape {
  std::int32_t slot;
  std::string_view columns;
};

// clang-format off
constexpr Shape kShapes[] = {
    {qvls_slot_index::qvlsAlloc_u8, "pppp"},
    {qvls_slot_index::qvlsAlloc_i16, "pppp"},
    {qvls_slot_index::qvlsFree, "pppp"},
    {qvls_slot_index::qvlsGetVersion, "pmaw"},
    {qvls_slot_index::qvlsStatusText, "pppw"},
    {qvls_slot_index::qvlsDFTFwd_ci16_sc, "pmaw"},
    {qvls_slot_index::qvlsDFTInv_ci16_sc, "pmaw"},
    {qvls_slot_index::qvlsDFTWorkSize_ci16, "pppw"},
    {qvls_slot_index::qvlsMul_ci16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsCopy_u8, "pmaw"},
    {qvls_slot_index::qvlsCopy_i16, "pmaw"},
    {qvls_slot_index::qvlsCopy_i32, "pmaw"},
    {qvls_slot_index::qvlsFlip_i16, "pmaw"},
    {qvls_slot_index::qvlsZero_u8, "pmaw"},
    {qvls_slot_index::qvlsZero_i16, "pmaw"},
    {qvls_slot_index::qvlsFill_i32, "pmaw"},
    {qvls_slot_index::qvlsFIRCreate_i16, "pmaw"},
    {qvls_slot_index::qvlsFIRCreate_ci16, "pmaw"},
    {qvls_slot_index::qvlsFIRDestroy_i16, "pppp"},
    {qvls_slot_index::qvlsFIRDestroy_ci16, "pppp"},
    {qvls_slot_index::qvlsFIRSetDelayLine_i16, "pmaw"},
    {qvls_slot_index::qvlsFIRGetDelayLine_i16, "pppw"},
    {qvls_slot_index::qvlsFIRGetDelayLine_ci16, "pppw"},
    {qvls_slot_index::qvlsFIRSample_i16, "pmaw"},
    {qvls_slot_index::qvlsFIRBlock_i16, "pmaw"},
    {qvls_slot_index::qvlsFIRBlock_ci16, "pmaw"},  // w7: an entry of its own around the a6 kernel
    {qvls_slot_index::qvlsFIRBlock_i16_ip, "pmaw"},
    {qvls_slot_index::qvlsFIRBlock_ci16_ip, "pmaw"},
    {qvls_slot_index::qvlsNearest_u16, "pppw"},
    {qvls_slot_index::qvlsNearestVec_u16, "pmaw"},
    {qvls_slot_index::qvlsLMSOutput_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSPushOutput_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSOutput_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSPushOutput_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSCreate_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSDestroy_i16, "pppp"},
    {qvls_slot_index::qvlsLMSCreate_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSDestroy_ci16, "pppp"},
    {qvls_slot_index::qvlsLMSSetTaps_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetTaps_i16, "pppw"},
    {qvls_slot_index::qvlsLMSTapsPtr_i16, "pppw"},
    {qvls_slot_index::qvlsLMSSetTaps_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetTaps_ci16, "pppw"},
    {qvls_slot_index::qvlsLMSTapsPtr_ci16, "pppw"},
    {qvls_slot_index::qvlsMean_i16_sc, "pmmw"},
    {qvls_slot_index::qvlsAbs_i16_ip, "pmaw"},
    {qvls_slot_index::qvlsLMSSetDelayLine_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetDelayLine_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetDelayValue_i16, "pppw"},
    {qvls_slot_index::qvlsLMSSetDelayLine_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetDelayLine_ci16, "pmaw"},
    {qvls_slot_index::qvlsLMSGetDelayValue_ci16, "pppw"},
    {qvls_slot_index::qvlsLMSPush_i16, "pmmw"},
    {qvls_slot_index::qvlsLMSPush_ci16, "pmmw"},
    {qvls_slot_index::qvlsLMSSetStep_i16, "pppw"},
    {qvls_slot_index::qvlsLMSSetStep_ci16, "pppw"},
    {qvls_slot_index::qvlsLMSUpdate_i16, "pmaw"},
    {qvls_slot_index::qvlsLMSUpdate_ci16, "pmaw"},
    {qvls_slot_index::qvlsFFTCreate_ci16, "pmaw"},
    {qvls_slot_index::qvlsFFTCreate_i16, "pmaw"},
    {qvls_slot_index::qvlsFFTDestroy_ci16, "pmaw"},
    {qvls_slot_index::qvlsFFTDestroy_i16, "pmaw"},
    {qvls_slot_index::qvlsFFTFwd_ci16_sc, "pmaw"},
    {qvls_slot_index::qvlsFFTWorkSize_ci16, "pppw"},
    {qvls_slot_index::qvlsFFTWorkSize_i16, "pppw"},
    {qvls_slot_index::qvlsDFTCreate_ci16, "pmaw"},
    {qvls_slot_index::qvlsDFTDestroy_ci16, "pmaw"},
    {qvls_slot_index::qvlsFFTFwd_i16_sc, "pmaw"},
    {qvls_slot_index::qvlsNormInf_i16toi32_sc, "pmaw"},
    {qvls_slot_index::qvlsNormL1_i16toi32_sc, "pmaw"},
    {qvls_slot_index::qvlsNormL2_i16toi32_sc, "pmaw"},
    {qvls_slot_index::qvlsDiffNormL1_i16toi32_sc, "pmaw"},
    {qvls_slot_index::qvlsUpsample_i16, "pmaw"},
    {qvls_slot_index::qvlsDownsample_i16, "pmaw"},
    {qvls_slot_index::qvlsMinWithIndex_i16, "pmaa"},
    {qvls_slot_index::qvlsMax_i16, "pmaw"},
    {qvls_slot_index::qvlsMulConst_i16_ip, "pmaw"},
    {qvls_slot_index::qvlsMulConst_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsMulConst_i32_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsMulConst_i16_sc, "pmaw"},
    {qvls_slot_index::qvlsAdd_i32_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsAdd_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsSub_i16_ip, "pmaw"},
    {qvls_slot_index::qvlsSubConst_i16_ip, "pmmw"},
    {qvls_slot_index::qvlsSub_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsMul_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsSub_i16, "pmaw"},
    {qvls_slot_index::qvlsMul_i32_sc, "pmaw"},
    {qvls_slot_index::qvlsDivConst_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsSqrt_i16_ip_sc, "pmaw"},
    {qvls_slot_index::qvlsPhase_ci16toi16_sc, "pmaw"},
    {qvls_slot_index::qvlsDot_i16_sc, "pmmw"},
    {qvls_slot_index::qvlsDot_i16toi32_sc, "pmmw"},
    {qvls_slot_index::qvlsDot_i16i32toi32_sc, "pppw"},
    {qvls_slot_index::qvlsDot_i16ci16toci32_sc, "ppaw"},
    {qvls_slot_index::qvlsDot_i32_sc, "pppw"},
    {qvls_slot_index::qvlsTrellisMetrics2D_i16, "pmmw"},
    {qvls_slot_index::qvlsTrellisACS_u16, "ppaw"},
    {qvls_slot_index::qvlsTrellisMetrics4D_u16, "pmaw"},
    {qvls_slot_index::qvlsMaxWithIndex_i16, "pmaa"},
    {qvls_slot_index::qvlsSum_i16toi32_sc, "pmmw"},
    {qvls_slot_index::qvlsConvert_i16toi32, "pmaw"},
    {qvls_slot_index::qvlsConvert_i32toi16, "pmaw"},
    {qvls_slot_index::qvlsMin_i16, "pmaw"},
    {qvls_slot_index::qvlsWinHamming_i16, "pmaw"},
    {qvls_slot_index::qvlsWinHann_i16, "pmaw"},
    {qvls_slot_index::qvlsWinHann_i16_ip, "pmaw"},
    {qvls_slot_index::qvlsFIRStateSize_i16, "pppw"},
    {qvls_slot_index::qvlsFIRInit_i16, "pmaw"},
    {qvls_slot_index::qvlsFIRInit_ci16, "pmaw"},
    {qvls_slot_index::qvlsFIRStateSize_ci16, "ppaa"},
    {qvls_slot_index::qvlsALawDecode_u8toi16, "pmaw"},
    {qvls_slot_index::qvlsMuLawDecode_u8toi16, "pmaw"},
    {qvls_slot_index::qvlsALawEncode_i16tou8, "pmaw"},
    {qvls_slot_index::qvlsMuLawEncode_i16tou8, "pmaw"},
};
// clang-format on

// Slots that one implementation serves together, column by column.
constexpr std::pair<std::int32_t, std::int32_t> kSharedBetweenSlots[] = {
    {qvls_slot_index::qvlsLMSDestroy_i16, qvls_slot_index::qvlsLMSDestroy_ci16},
    {qvls_slot_index::qvlsLMSTapsPtr_i16, qvls_slot_index::qvlsLMSTapsPtr_ci16},
};

// Every slot's four entries as plain addresses, with its placeholder's.
struct SlotEntries {
  std::array<const void*, qvls_variant_count> entry;
  const void* placeholder;
  bool IsPlaceholder(std::int32_t column) const { return entry[column] == placeholder; }
};

template <std::int32_t Slot, class Fn>
SlotEntries EntriesOf(const qvls_variant_record<Fn>& record) {
  SlotEntries e{};
  for (std::int32_t c = 0; c < qvls_variant_count; ++c) {
    e.entry[c] = reinterpret_cast<const void*>(record.entry[c]);
  }
  e.placeholder = reinterpret_cast<const void*>(qvls_placeholder_entry<Slot>);
  return e;
}

std::array<SlotEntries, qvls_slot_count> AllEntries() {
  std::array<SlotEntries, qvls_slot_count> all{};
#define QVLS_COLLECT(number, name, result, params, args, jump) \
  all[number] = EntriesOf<number>(qvls_variant_table.name);
  QVLS_SLOT_LIST(QVLS_COLLECT)
#undef QVLS_COLLECT
  return all;
}

std::int32_t ColumnOfLetter(char letter) {
  switch (letter) {
    case 'p':
      return QVLS_VARIANT_PX;
    case 'm':
      return QVLS_VARIANT_M6;
    case 'a':
      return QVLS_VARIANT_A6;
    case 'w':
      return QVLS_VARIANT_W7;
  }
  return -1;
}

TEST(VariantTable, EveryRecordFillsItsOwnSlotAndNoEntryIsNull) {
  qvls_frame frame(qvls_variant_table, QVLS_VARIANT_PX);
  std::array<const void*, qvls_slot_count> slot_address{};
  qvls_for_each_slot(frame.slots,
                     [&](std::int32_t k, const auto& slot) { slot_address[k] = &slot; });

  std::int32_t records = 0;
  qvls_for_each_record(qvls_variant_table, [&](std::int32_t k, const auto& record) {
    EXPECT_EQ(k, records++);
    EXPECT_EQ(static_cast<const void*>(&(frame.slots.*record.slot)), slot_address[k])
        << "record " << k << " fills another slot than " << qvls_slot_name(k);
    for (std::int32_t c = 0; c < qvls_variant_count; ++c) {
      EXPECT_NE(record.entry[c], nullptr) << qvls_slot_name(k) << " column " << c;
    }
  });
  EXPECT_EQ(records, 115);
}

// Calls an entry with value-initialised scalars and pointers into a scratch
// area, and checks the placeholder's answer and that the area is untouched.
template <class Result, class... Args>
void ExpectPlaceholderAnswer(Result (*entry)(Args...), const char* name) {
  SCOPED_TRACE(name);
  alignas(64) std::array<unsigned char, 64 * 9> scratch;
  scratch.fill(0x5A);
  const auto untouched = scratch;
  auto argument = [&]<class T>(std::size_t position) {
    if constexpr (std::is_pointer_v<T>) {
      return reinterpret_cast<T>(scratch.data() + 64 * position);
    } else {
      return T{};
    }
  };
  auto call = [&]<std::size_t... I>(std::index_sequence<I...>) {
    return entry(argument.template operator()<Args>(I)...);
  };
  if constexpr (std::is_void_v<Result>) {
    call(std::index_sequence_for<Args...>{});
  } else if constexpr (std::is_pointer_v<Result>) {
    EXPECT_EQ(call(std::index_sequence_for<Args...>{}), nullptr);
  } else {
    EXPECT_EQ(call(std::index_sequence_for<Args...>{}), QVLS_ERR_NOT_SUPPORTED);
  }
  EXPECT_EQ(scratch, untouched) << "a placeholder touched what its arguments point to";
}

// Every slot's placeholder, called directly: the table holds none of them
// any more, but a slot's placeholder is what a variant that lacks the slot
// would run.
TEST(VariantTable, PlaceholdersAnswerNotSupportedAndTouchNothing) {
  int placeholders = 0;
#define QVLS_CHECK_PLACEHOLDER(number, name, result, params, args, jump) \
  ++placeholders;                                                       \
  ExpectPlaceholderAnswer(qvls_placeholder_entry<number>, #name);
  QVLS_SLOT_LIST(QVLS_CHECK_PLACEHOLDER)
#undef QVLS_CHECK_PLACEHOLDER
  EXPECT_EQ(placeholders, qvls_slot_count);
}

TEST(VariantTable, SlotIsEitherAllPlaceholderOrBuilt) {
  const auto all = AllEntries();
  for (std::int32_t k = 0; k < qvls_slot_count; ++k) {
    int held = 0;
    for (std::int32_t c = 0; c < qvls_variant_count; ++c) held += all[k].IsPlaceholder(c);
    EXPECT_TRUE(held == 0 || held == qvls_variant_count)
        << qvls_slot_name(k) << " mixes its placeholder with real entries";
  }
  EXPECT_FALSE(all[qvls_slot_index::qvlsGetVersion].IsPlaceholder(0));
  EXPECT_FALSE(all[qvls_slot_index::qvlsStatusText].IsPlaceholder(0));
}

// Every family is built: no slot holds its placeholder in any column.
TEST(VariantTable, EverySlotIsBuilt) {
  const auto all = AllEntries();
  for (std::int32_t k = 0; k < qvls_slot_count; ++k) {
    for (std::int32_t c = 0; c < qvls_variant_count; ++c) {
      EXPECT_FALSE(all[k].IsPlaceholder(c)) << qvls_slot_name(k) << " column " << c;
    }
  }
}

TEST(VariantTable, BuiltSlotsShareEntriesExactlyAsTheFamiliesSay) {
  const auto all = AllEntries();
  ASSERT_EQ(std::size(kShapes), static_cast<std::size_t>(qvls_slot_count));
  for (std::int32_t k = 0; k < qvls_slot_count; ++k) {
    const Shape& shape = kShapes[k];
    ASSERT_EQ(shape.slot, k) << "the shapes are listed in slot order";
    const SlotEntries& e = all[k];
    if (e.IsPlaceholder(0)) continue;  // not built yet
    SCOPED_TRACE(qvls_slot_name(k));
    for (std::int32_t c = 0; c < qvls_variant_count; ++c) {
      const std::int32_t source = ColumnOfLetter(shape.columns[c]);
      ASSERT_TRUE(source >= 0 && source <= c && ColumnOfLetter(shape.columns[source]) == source)
          << "malformed shape " << shape.columns;
      EXPECT_EQ(e.entry[c], e.entry[source]) << "column " << c << " should run column " << source;
      if (source != c) continue;
      // An entry of its own is a distinct symbol, different from every other own entry.
      for (std::int32_t other = 0; other < c; ++other) {
        if (ColumnOfLetter(shape.columns[other]) == other) {
          EXPECT_NE(e.entry[c], e.entry[other]) << "columns " << other << " and " << c;
        }
      }
    }
  }
  for (const auto& [a, b] : kSharedBetweenSlots) {
    if (all[a].IsPlaceholder(0)) continue;
    EXPECT_EQ(all[a].entry, all[b].entry) << qvls_slot_name(a) << " and " << qvls_slot_name(b);
  }
}

}  // namespace
}  // namespace qvls_test
