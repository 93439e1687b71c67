// Division by a constant in its variants (slot s88): every column its own.
#pragma once

#include "siglib/frame/entries.h"

qvlsDivConst_i16_ip_sc_fn qvlsDivConst_i16_ip_sc_px, qvlsDivConst_i16_ip_sc_m6,
    qvlsDivConst_i16_ip_sc_a6, qvlsDivConst_i16_ip_sc_w7;

QVLS_VARIANT_ENTRIES(qvlsDivConst_i16_ip_sc, qvlsDivConst_i16_ip_sc_px, qvlsDivConst_i16_ip_sc_m6,
                     qvlsDivConst_i16_ip_sc_a6, qvlsDivConst_i16_ip_sc_w7);
