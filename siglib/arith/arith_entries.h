// Add, subtract, multiply and absolute value in their variants. Every column
// has an entry of its own, except the a6 constant subtraction, which is the
// m6 entry.
#pragma once

#include "siglib/frame/entries.h"

#define QVLS_DECLARE_ARITH_ENTRIES(tag)                   \
  qvlsAdd_i32_ip_sc_fn qvlsAdd_i32_ip_sc_##tag;           \
  qvlsAdd_i16_ip_sc_fn qvlsAdd_i16_ip_sc_##tag;           \
  qvlsSub_i16_ip_fn qvlsSub_i16_ip_##tag;                 \
  qvlsSub_i16_ip_sc_fn qvlsSub_i16_ip_sc_##tag;           \
  qvlsSub_i16_fn qvlsSub_i16_##tag;                       \
  qvlsMulConst_i16_ip_fn qvlsMulConst_i16_ip_##tag;       \
  qvlsMulConst_i16_ip_sc_fn qvlsMulConst_i16_ip_sc_##tag; \
  qvlsMulConst_i32_ip_sc_fn qvlsMulConst_i32_ip_sc_##tag; \
  qvlsMulConst_i16_sc_fn qvlsMulConst_i16_sc_##tag;       \
  qvlsMul_i16_ip_sc_fn qvlsMul_i16_ip_sc_##tag;           \
  qvlsMul_i32_sc_fn qvlsMul_i32_sc_##tag;                 \
  qvlsMul_ci16_ip_sc_fn qvlsMul_ci16_ip_sc_##tag;         \
  qvlsAbs_i16_ip_fn qvlsAbs_i16_ip_##tag;
QVLS_DECLARE_ARITH_ENTRIES(px)
QVLS_DECLARE_ARITH_ENTRIES(m6)
QVLS_DECLARE_ARITH_ENTRIES(a6)
QVLS_DECLARE_ARITH_ENTRIES(w7)
#undef QVLS_DECLARE_ARITH_ENTRIES
qvlsSubConst_i16_ip_fn qvlsSubConst_i16_ip_px, qvlsSubConst_i16_ip_m6, qvlsSubConst_i16_ip_w7;

#define QVLS_ARITH_ENTRIES(op) QVLS_VARIANT_ENTRIES(op, op##_px, op##_m6, op##_a6, op##_w7)
QVLS_ARITH_ENTRIES(qvlsAdd_i32_ip_sc);
QVLS_ARITH_ENTRIES(qvlsAdd_i16_ip_sc);
QVLS_ARITH_ENTRIES(qvlsSub_i16_ip);
QVLS_ARITH_ENTRIES(qvlsSub_i16_ip_sc);
QVLS_ARITH_ENTRIES(qvlsSub_i16);
QVLS_ARITH_ENTRIES(qvlsMulConst_i16_ip);
QVLS_ARITH_ENTRIES(qvlsMulConst_i16_ip_sc);
QVLS_ARITH_ENTRIES(qvlsMulConst_i32_ip_sc);
QVLS_ARITH_ENTRIES(qvlsMulConst_i16_sc);
QVLS_ARITH_ENTRIES(qvlsMul_i16_ip_sc);
QVLS_ARITH_ENTRIES(qvlsMul_i32_sc);
QVLS_ARITH_ENTRIES(qvlsMul_ci16_ip_sc);
QVLS_ARITH_ENTRIES(qvlsAbs_i16_ip);
#undef QVLS_ARITH_ENTRIES
QVLS_VARIANT_ENTRIES(qvlsSubConst_i16_ip, qvlsSubConst_i16_ip_px, qvlsSubConst_i16_ip_m6,
                     qvlsSubConst_i16_ip_m6, qvlsSubConst_i16_ip_w7);
