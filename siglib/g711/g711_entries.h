// G.711 A-law and mu-law conversion in its variants (slots s111 to s114):
// every column its own; a6 and w7 hold their own copies of the m6 code.
#pragma once

#include "siglib/frame/entries.h"

#define QVLS_DECLARE_G711_ENTRIES(tag)                      \
  qvlsALawDecode_u8toi16_fn qvlsALawDecode_u8toi16_##tag;   \
  qvlsMuLawDecode_u8toi16_fn qvlsMuLawDecode_u8toi16_##tag; \
  qvlsALawEncode_i16tou8_fn qvlsALawEncode_i16tou8_##tag;   \
  qvlsMuLawEncode_i16tou8_fn qvlsMuLawEncode_i16tou8_##tag;
QVLS_DECLARE_G711_ENTRIES(px)
QVLS_DECLARE_G711_ENTRIES(m6)
QVLS_DECLARE_G711_ENTRIES(a6)
QVLS_DECLARE_G711_ENTRIES(w7)
#undef QVLS_DECLARE_G711_ENTRIES

QVLS_VARIANT_ENTRIES(qvlsALawDecode_u8toi16, qvlsALawDecode_u8toi16_px, qvlsALawDecode_u8toi16_m6,
                     qvlsALawDecode_u8toi16_a6, qvlsALawDecode_u8toi16_w7);
QVLS_VARIANT_ENTRIES(qvlsMuLawDecode_u8toi16, qvlsMuLawDecode_u8toi16_px,
                     qvlsMuLawDecode_u8toi16_m6, qvlsMuLawDecode_u8toi16_a6,
                     qvlsMuLawDecode_u8toi16_w7);
QVLS_VARIANT_ENTRIES(qvlsALawEncode_i16tou8, qvlsALawEncode_i16tou8_px, qvlsALawEncode_i16tou8_m6,
                     qvlsALawEncode_i16tou8_a6, qvlsALawEncode_i16tou8_w7);
QVLS_VARIANT_ENTRIES(qvlsMuLawEncode_i16tou8, qvlsMuLawEncode_i16tou8_px,
                     qvlsMuLawEncode_i16tou8_m6, qvlsMuLawEncode_i16tou8_a6,
                     qvlsMuLawEncode_i16tou8_w7);
