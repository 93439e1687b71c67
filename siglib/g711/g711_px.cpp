// G.711 coders, generic variant: decoders five codes per step while at least
// six remain, then one at a time; the A-law encoder searches 16-bit bounds
// in a loop, the mu-law encoder tests its clip bound and then the segment
// bounds one after another.
#include "siglib/g711/g711_entries.h"
#include "siglib/g711/g711_rules.h"

namespace {

using namespace qvls::g711;
using qvls::LoadAt;
using qvls::StoreAt;

qvls_status DecodeFivePerStep(const Table& table, const std::uint8_t* src, std::int16_t* dst,
                              std::int32_t len) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  std::int32_t i = 0;
  for (; len - i >= 6; i += 5) {
    for (std::int32_t k = i; k < i + 5; ++k) StoreAt(dst, k, table[src[k]]);
  }
  for (; i < len; ++i) StoreAt(dst, i, table[src[i]]);
  return QVLS_OK;
}

constexpr std::uint8_t EncodeALawBy16BitBounds(std::int16_t v) { return EncodeALaw(v, kBounds16); }

constexpr std::uint8_t EncodeMuLawByChain(std::int16_t v) {
  const Folded f = FoldMuLaw(v);
  if (f.m > 32767) return 0x7F ^ f.mask;
  std::int32_t s = 7;
  if (f.m <= 255) {
    s = 0;
  } else if (f.m <= 511) {
    s = 1;
  } else if (f.m <= 1023) {
    s = 2;
  } else if (f.m <= 2047) {
    s = 3;
  } else if (f.m <= 4095) {
    s = 4;
  } else if (f.m <= 8191) {
    s = 5;
  } else if (f.m <= 16383) {
    s = 6;
  }
  return Pack(s, f.m) ^ f.mask;
}

}  // namespace

qvls_status qvlsALawDecode_u8toi16_px(const std::uint8_t* src, std::int16_t* dst,
                                      std::int32_t len) {
  return DecodeFivePerStep(kALawToLinear, src, dst, len);
}

qvls_status qvlsMuLawDecode_u8toi16_px(const std::uint8_t* src, std::int16_t* dst,
                                       std::int32_t len) {
  return DecodeFivePerStep(kMuLawToLinear, src, dst, len);
}

qvls_status qvlsALawEncode_i16tou8_px(const std::int16_t* src, std::uint8_t* dst,
                                      std::int32_t len) {
  return EncodeEach<QVLS_VARIANT_PX, EncodeALawBy16BitBounds>(src, dst, len);
}

qvls_status qvlsMuLawEncode_i16tou8_px(const std::int16_t* src, std::uint8_t* dst,
                                       std::int32_t len) {
  return EncodeEach<QVLS_VARIANT_PX, EncodeMuLawByChain>(src, dst, len);
}
