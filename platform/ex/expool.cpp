#include "platform/ex/expool.h"

namespace plat::ex {
namespace {

// The pool installed on this host thread, if any.
thread_local Pool* installed_pool = nullptr;

// Tag the kernel gives untagged allocations.
constexpr ULONG kUntaggedTag = PoolTag("None");

}  // namespace

Pool& DefaultPool() {
  static Pool pool("default");
  return pool;
}

Pool& CurrentPool() { return installed_pool != nullptr ? *installed_pool : DefaultPool(); }

ScopedPool::ScopedPool(Pool& pool) : previous_(installed_pool) { installed_pool = &pool; }

ScopedPool::~ScopedPool() { installed_pool = previous_; }

}  // namespace plat::ex

PVOID ExAllocatePool(POOL_TYPE type, SIZE_T bytes) {
  return plat::ex::CurrentPool().Allocate(type, bytes, plat::ex::kUntaggedTag);
}

PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag) {
  return plat::ex::CurrentPool().Allocate(type, bytes, tag);
}

void ExFreePool(PVOID block) { plat::ex::CurrentPool().Free(block); }
