#include "siglib/frame/cpu.h"
#include "siglib/frame/frame.h"

namespace {

template <class Fn>
bool FillSlot(qvls_slot_table& slots, const qvls_variant_record<Fn>& record, std::int32_t column) {
  Fn* entry = record.entry[column];
  if (entry == nullptr) return false;
  (slots.*record.slot).store(entry);
  return true;
}

}  // namespace

std::int32_t qvlsFillSlots(qvls_frame& frame, const qvls_variant_records& table,
                           std::int32_t column) {
  if (column < 0 || column >= qvls_variant_count) return 0;
#define QVLS_FILL_SLOT(number, name, result, params, args, jump) \
  if (!FillSlot(frame.slots, table.name, column)) return 0;
  QVLS_SLOT_LIST(QVLS_FILL_SLOT)
#undef QVLS_FILL_SLOT
  return 1;
}

std::int32_t qvlsVariantOfCpuType(std::int32_t cpu_type) {
  switch (cpu_type) {
    case QVLS_CPU_FAM6_SIMD64:
      return QVLS_VARIANT_M6;
    case QVLS_CPU_FAM6_SIMD128F:
      return QVLS_VARIANT_A6;
    case QVLS_CPU_SIMD128D:
    case QVLS_CPU_SIMD128D_MULTI:
    case QVLS_CPU_SIMD128D_B0:
      return QVLS_VARIANT_W7;
    default:
      return QVLS_VARIANT_PX;
  }
}

std::int32_t qvlsCpuVariant(const plat::cpu::Identity& identity) {
  return qvlsVariantOfCpuType(qvlsCpuType(identity));
}

std::int32_t qvlsSelectVariant(qvls_frame& frame, const qvls_variant_records& table,
                               const plat::cpu::Identity& identity) {
  const std::int32_t processor_class = qvlsCpuVariant(identity);
  for (const std::int32_t* column = qvls_variant_order[processor_class];
       *column != QVLS_VARIANT_END; ++column) {
    if (qvlsFillSlots(frame, table, *column)) {
      frame.variant.store(*column, std::memory_order_relaxed);
      return 1;
    }
  }
  return 0;
}

std::int32_t qvlsInit(qvls_frame& frame, const qvls_variant_records& table,
                      const plat::cpu::Identity& identity) {
  return qvlsSelectVariant(frame, table, identity);
}

std::int32_t qvlsInit() {
  return qvlsInit(qvls_process_frame, qvls_variant_table, plat::cpu::Current());
}
std::int32_t qvlsSelectVariant() {
  return qvlsSelectVariant(qvls_process_frame, qvls_variant_table, plat::cpu::Current());
}
std::int32_t qvlsCpuVariant() { return qvlsCpuVariant(plat::cpu::Current()); }
std::int32_t qvlsFillSlots(std::int32_t column) {
  return qvlsFillSlots(qvls_process_frame, qvls_variant_table, column);
}
