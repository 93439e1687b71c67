// The block operations in 64-bit packed-integer registers: the copy below,
// the zero and the fill of mmx_blocks.h with ordinary stores.
#include "siglib/memory/block_entries.h"
#include "siglib/memory/mmx_blocks.h"

namespace {

// The m6 copy: fewer than 64 bytes go to the tail; otherwise one unaligned
// 8-byte move brings the destination to its 8-byte boundary, then the 64-byte
// steps, then the tail.
void CopyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  if (n >= 64) {
    const std::size_t head = qvls::DistanceToBoundary(dst, 8);
    if (head != 0) {
      qvls::mmx::Put8(dst, qvls::mmx::Get8(src));
      src += head;
      dst += head;
      n -= head;
    }
    qvls::mmx::CopySteps64(src, dst, n);
  }
  qvls::mmx::CopyTail(src, dst, n);
  _mm_empty();
}

void ZeroBytes(std::uint8_t* dst, std::size_t n) {
  qvls::mmx::ZeroBytes<qvls::mmx::Stores::kCached>(dst, n);
}

void FillWords(std::int32_t value, std::uint8_t* dst, std::size_t count) {
  qvls::mmx::FillWords<qvls::mmx::Stores::kCached>(value, dst, count);
}

}  // namespace

QVLS_DEFINE_BLOCK_ENTRIES(m6, CopyBytes, ZeroBytes, FillWords)
