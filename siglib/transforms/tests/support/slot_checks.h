// Whether a slot's row of the variant table holds the entries a family
// names for it, and whether a frame filled from a column reaches them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "siglib/frame/frame.h"
#include "siglib/frame/placeholder.h"
#include "siglib/frame/slots.h"

namespace qvls_test::transforms {

// Slot k's entry of `column` in the variant table and in a frame filled
// from that column.
template <std::int32_t Slot, class Fn>
void ExpectSlot(const qvls_variant_record<Fn>& record, qvls_slot<Fn> qvls_slot_table::*in_frame,
                const std::array<Fn*, 4>& want, std::int32_t column) {
  SCOPED_TRACE(qvls_slot_name(Slot));
  EXPECT_NE(record.entry[column], qvls_placeholder_entry<Slot>) << "the placeholder is still there";
  EXPECT_EQ(record.entry[column], want[column]);
  qvls_frame frame(qvls_variant_table, (column + 1) % qvls_variant_count);
  ASSERT_EQ(qvlsFillSlots(frame, qvls_variant_table, column), 1);
  EXPECT_EQ((frame.slots.*in_frame).load(), want[column]);
}

}  // namespace qvls_test::transforms
