// Aligned blocks from the non-paged pool. A pool block of n·size + 40 bytes
// holds the element area at (pool block + 39) rounded down to 32, which lies
// 8 to 39 bytes in, so the 8 bytes just before it are always inside the pool
// block: they keep the pool block's address for qvlsFree.
#include <cstring>

#include "platform/ex/expool.h"
#include "siglib/memory/memory.h"

namespace {

constexpr ULONG kPoolTag = plat::ex::PoolTag("Ddk ");
constexpr std::uintptr_t kAlignment = 32;
constexpr std::size_t kOverhead = 40;  // the pre-word and the worst alignment step

void* AllocateAligned(std::int32_t n, std::size_t element_size) {
  if (n <= 0) return nullptr;
  // In 64 bits: a count near 2^31 must not wrap to a short block.
  const std::uint64_t bytes = static_cast<std::uint64_t>(n) * element_size + kOverhead;
  if (bytes > static_cast<std::uint64_t>(INT32_MAX)) return nullptr;
  void* pool_block = qvlsPoolAlloc(static_cast<std::size_t>(bytes));
  if (pool_block == nullptr) return nullptr;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(pool_block);
  auto* block = reinterpret_cast<std::uint8_t*>((start + kOverhead - 1) & ~(kAlignment - 1));
  std::memcpy(block - sizeof(pool_block), &pool_block, sizeof(pool_block));
  return block;
}

}  // namespace

void* qvlsPoolAlloc(std::size_t bytes) {
  return ExAllocatePoolWithTag(NonPagedPool, bytes, kPoolTag);
}

void qvlsPoolFree(void* block) { ExFreePool(block); }

std::uint8_t* qvlsAlloc_u8_px(std::int32_t n) {
  return static_cast<std::uint8_t*>(AllocateAligned(n, sizeof(std::uint8_t)));
}

std::int16_t* qvlsAlloc_i16_px(std::int32_t n) {
  return static_cast<std::int16_t*>(AllocateAligned(n, sizeof(std::int16_t)));
}

std::int32_t* qvlsAlloc_i32(std::int32_t n) {
  return static_cast<std::int32_t*>(AllocateAligned(n, sizeof(std::int32_t)));
}

qvls_ci32* qvlsAlloc_ci32(std::int32_t n) {
  return static_cast<qvls_ci32*>(AllocateAligned(n, sizeof(qvls_ci32)));
}

void qvlsFree_px(void* p) {
  if (p == nullptr) return;
  void* pool_block;
  std::memcpy(&pool_block, static_cast<std::uint8_t*>(p) - sizeof(pool_block), sizeof(pool_block));
  qvlsPoolFree(pool_block);
}
