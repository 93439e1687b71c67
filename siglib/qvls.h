// The signal library as its callers see it: the types and status codes, the
// jump entries of the operations (each calls the variant installed in its
// slot) and the start-up entry that installs the variant for the processor.
#pragma once

#include <cstdint>

#include "siglib/frame/slot_list.h"
#include "siglib/frame/types.h"

#define QVLS_DECLARE_JUMP_ENTRY(number, name, result, params, args, jump) \
  QVLS_IF_JUMP(jump, result name params;)
QVLS_SLOT_LIST(QVLS_DECLARE_JUMP_ENTRY)
#undef QVLS_DECLARE_JUMP_ENTRY

// Identifies the processor and installs the best variant it supports in
// every slot; 1 when the slots were filled, 0 otherwise. Before the first
// call the slots hold the generic (px) entries.
std::int32_t qvlsInit();
