#include "pump/context/profiles.h"

#include <cstring>

#include "platform/ex/expool.h"
#include "platform/ke/irql.h"
#include "platform/ke/kernel.h"
#include "platform/reg/regroutines.h"

namespace pump {
namespace {

constexpr ULONG kPoolTag = plat::ex::PoolTag("Ddk ");
constexpr SIZE_T kPathBytes = 500;
// The direct query's buffer: the capacity (in, then the value's length out)
// in the first word, the value after it, and room to spare.
constexpr ULONG kQueryOverhead = 12;

// The machine's copy of the path: a slot of its kernel, since several
// machines run in one process.
struct ProfilePath {
  PWSTR path = nullptr;
};

PWSTR& MachinePath() { return plat::ke::CurrentKernel().slots().Get<ProfilePath>().path; }

bool Passive() { return KeGetCurrentIrql() == PASSIVE_LEVEL; }

}  // namespace

bool SetProfilePath(const UNICODE_STRING& path) {
  FreeProfilePath();
  const std::size_t units = path.Length / sizeof(WCHAR);
  if ((units + 1) * sizeof(WCHAR) > kPathBytes) return false;
  auto* copy = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, kPathBytes, kPoolTag));
  if (copy == nullptr) return false;
  std::memset(copy, 0, kPathBytes);
  if (units != 0) std::memcpy(copy, path.Buffer, units * sizeof(WCHAR));
  MachinePath() = copy;
  return true;
}

void FreeProfilePath() {
  PWSTR& path = MachinePath();
  if (path != nullptr) ExFreePool(path);
  path = nullptr;
}

bool ReadProfileValue(PCWSTR name, void* buffer, ULONG& size) {
  const ULONG capacity = size;
  size = 0;
  const PWSTR path = MachinePath();
  if (!Passive() || path == nullptr) return false;
  const ULONG bytes = capacity + kQueryOverhead;
  auto* query = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, bytes, kPoolTag));
  if (query == nullptr) return false;
  std::memset(query, 0, bytes);
  std::memcpy(query, &capacity, sizeof capacity);

  RTL_QUERY_REGISTRY_TABLE table[2] = {};
  table[0].Flags = RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_REQUIRED;
  table[0].Name = const_cast<PWSTR>(name);
  table[0].EntryContext = query;
  table[0].DefaultType = REG_BINARY;
  const NTSTATUS status =
      RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, path, table, nullptr, nullptr);
  ULONG length = 0;
  std::memcpy(&length, query, sizeof length);
  // The length word is checked before it is trusted: only bytes the buffer
  // received are copied.
  const bool read = NT_SUCCESS(status) && length <= capacity;
  if (read) {
    std::memcpy(buffer, query + sizeof length, length);
    size = length;
  }
  ExFreePool(query);
  return read;
}

bool WriteProfileValue(PCWSTR name, const void* data, ULONG size) {
  const PWSTR path = MachinePath();
  if (!Passive() || path == nullptr) return false;
  return NT_SUCCESS(RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, path, name, REG_BINARY,
                                          const_cast<void*>(data), size));
}

}  // namespace pump
