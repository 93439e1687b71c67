// The process's slots for the life of a scope. A test (or a benchmark) that
// needs another column installs it here; on exit the slots and the variant
// are put back exactly as they were, whatever ran in between (qvlsInit
// included).
#pragma once

#include <cstdint>

#include "siglib/frame/frame.h"

namespace qvls_test {

class ScopedSlots {
 public:
  // Saves the slots and the variant; restores them at the end of the scope.
  ScopedSlots() : saved_(qvls_variant_table), saved_variant_(qvls_variant.load()) {
    qvls_for_each_record(saved_, [](std::int32_t, auto& record) {
      record.entry[0] = (qvls_slots.*record.slot).load();
    });
  }
  // The same, and installs `column` of `table`; installed() tells whether
  // every slot could be filled.
  explicit ScopedSlots(std::int32_t column, const qvls_variant_records& table = qvls_variant_table)
      : ScopedSlots() {
    installed_ = qvlsFillSlots(qvls_process_frame, table, column) == 1;
    if (installed_) qvls_variant.store(column);
  }
  ~ScopedSlots() {
    qvlsFillSlots(qvls_process_frame, saved_, 0);
    qvls_variant.store(saved_variant_);
  }
  ScopedSlots(const ScopedSlots&) = delete;
  ScopedSlots& operator=(const ScopedSlots&) = delete;

  bool installed() const { return installed_; }

 private:
  qvls_variant_records saved_;  // column 0 holds the saved slots
  std::int32_t saved_variant_;
  bool installed_ = true;
};

}  // namespace qvls_test
