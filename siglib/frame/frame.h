// Start-up of the library: identify the processor, pick the best variant it
// supports and copy that variant's column of the variant table into the slots.
//
// Each operation works on the process's frame, table and identity, and also
// on explicit ones, so a test can select on a frame of its own with a table
// of its own for any identity.
#pragma once

#include <cstdint>

#include "platform/cpu/identity.h"
#include "siglib/frame/slots.h"

// The start-up entry: 1 when the slots were filled, 0 otherwise.
std::int32_t qvlsInit();
std::int32_t qvlsInit(qvls_frame& frame, const qvls_variant_records& table,
                      const plat::cpu::Identity& identity);

// Tries the columns of the processor class's row of qvls_variant_order until
// one fills the slots, records it as the frame's variant and returns 1; 0
// when every column of the row has a null entry (the variant is unchanged).
std::int32_t qvlsSelectVariant();
std::int32_t qvlsSelectVariant(qvls_frame& frame, const qvls_variant_records& table,
                               const plat::cpu::Identity& identity);

// The processor class (a column, 0 to 3) of the processor that calls.
std::int32_t qvlsCpuVariant();
std::int32_t qvlsCpuVariant(const plat::cpu::Identity& identity);
// The class of a processor type: 4 m6; 5 a6; 6, 7, 8 w7; any other px.
std::int32_t qvlsVariantOfCpuType(std::int32_t cpu_type);

// Writes every slot from one column, record by record in slot order. Returns
// 1 when every slot was written; 0 at the first null entry (earlier slots are
// written, later ones keep their entries) and for a column outside 0 to 3.
std::int32_t qvlsFillSlots(std::int32_t column);
std::int32_t qvlsFillSlots(qvls_frame& frame, const qvls_variant_records& table,
                           std::int32_t column);
