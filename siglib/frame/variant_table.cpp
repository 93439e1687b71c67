// The variant table and the process's slots. The table takes every family's
// entries from its entries header (the build lists them in
// siglib/family_entries.h); a slot no family has claimed keeps its placeholder.
#include "siglib/family_entries.h"
#include "siglib/frame/entries.h"
#include "siglib/frame/slots.h"

// clang-format off
#define QVLS_RECORD(number, name, result, params, args, jump)                        \
  {&qvls_slot_table::name,                                                           \
   {qvls_slot_entries<number>::px, qvls_slot_entries<number>::m6,                    \
    qvls_slot_entries<number>::a6, qvls_slot_entries<number>::w7}},
// clang-format on
constexpr qvls_variant_records qvls_variant_table = {QVLS_SLOT_LIST(QVLS_RECORD)};
#undef QVLS_RECORD

constinit qvls_frame qvls_process_frame{qvls_variant_table, QVLS_VARIANT_PX};
