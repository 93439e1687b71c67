// The kernel's pool entry points. They act on the pool of the current
// context: the one a ScopedPool installed on this host thread (a simulated
// machine installs its own for every context it runs), else the process-wide
// default pool.
#pragma once

#include "platform/ex/pool.h"

PVOID ExAllocatePool(POOL_TYPE type, SIZE_T bytes);
PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag);
void ExFreePool(PVOID block);

namespace plat::ex {

Pool& CurrentPool();
Pool& DefaultPool();

// Installs a pool for the calling host thread until the scope ends.
class ScopedPool {
 public:
  explicit ScopedPool(Pool& pool);
  ~ScopedPool();
  ScopedPool(const ScopedPool&) = delete;
  ScopedPool& operator=(const ScopedPool&) = delete;

 private:
  Pool* previous_;
};

}  // namespace plat::ex
