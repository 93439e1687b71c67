// Processor identification: the processor type from the identification
// instruction, from which selection picks the variant column. Each query
// reads the identity of the machine that calls, the process's selected
// identity unless one is given.
#pragma once

#include <cstdint>

#include "platform/cpu/identity.h"
#include "siglib/frame/types.h"

// 1 when the identification instruction exists (bit 21 of the flags word can
// be changed), else 0.
std::int32_t qvlsHasCpuId();
std::int32_t qvlsHasCpuId(const plat::cpu::Identity& identity);

// 1 when the vendor string of leaf 0 is the maker's own, else 0.
std::int32_t qvlsCpuVendorOk();
std::int32_t qvlsCpuVendorOk(const plat::cpu::Identity& identity);

// The features that classification reads from leaf 1.
void qvlsCpuFeatures(qvls_cpu_features& record);
void qvlsCpuFeatures(const plat::cpu::Identity& identity, qvls_cpu_features& record);

// The processor type, one of qvls_cpu_type.
std::int32_t qvlsCpuType();
std::int32_t qvlsCpuType(const plat::cpu::Identity& identity);
