#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/machine_state.h"

#include <algorithm>
#include <cstring>

namespace vxctl {

void* AddressAllocate(std::uint32_t size, std::uint32_t flags) {
  if (size == 0 || (flags & kAllocRefused) != 0) return nullptr;
  const POOL_TYPE type = (flags & kAllocPaged) != 0 ? PagedPool : NonPagedPool;
  void* block = ExAllocatePoolWithTag(type, size, kCtlTag);
  if (block == nullptr) return nullptr;
  if ((flags & kAllocZeroed) != 0) std::memset(block, 0, size);
  auto& allocated = MachineState<TrackedPool>().allocated;
  const auto free_entry = std::find(allocated.begin(), allocated.end(), nullptr);
  if (free_entry == allocated.end()) {
    // Untracked, nothing could ever free it.
    DbgPrint("AddressAllocate(0x%08X) ERROR: Out of space in Allocated[].\n",
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(block)));
    ExFreePool(block);
    return nullptr;
  }
  *free_entry = block;
  return block;
}

std::uint32_t AddressFree(void* block, std::uint32_t) {
  auto& allocated = MachineState<TrackedPool>().allocated;
  const auto entry =
      block == nullptr ? allocated.end() : std::find(allocated.begin(), allocated.end(), block);
  if (entry == allocated.end()) {
    DbgPrint("AddressFree(0x%08X) ERROR: Bad address.\n",
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(block)));
    return 0;
  }
  *entry = nullptr;
  ExFreePool(block);
  return 1;
}

}  // namespace vxctl
