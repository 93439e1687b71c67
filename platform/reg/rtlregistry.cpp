#include "platform/reg/rtlregistry.h"

#include <cstring>

#include "platform/diag/fatal.h"
#include "platform/ex/expool.h"
#include "platform/nt/ntstatus.h"

namespace plat::reg {
namespace {

constexpr ULONG kUnsupportedFlags = RTL_QUERY_REGISTRY_SUBKEY | RTL_QUERY_REGISTRY_TOPKEY |
                                    RTL_QUERY_REGISTRY_NOVALUE | RTL_QUERY_REGISTRY_DELETE;

std::u16string_view View(PCWSTR text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

bool IsStringType(ULONG type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The length of default data given with DefaultLength 0.
ULONG DefaultLength(ULONG type, const void* data) {
  if (!IsStringType(type) || data == nullptr) return 0;
  const auto* text = static_cast<const WCHAR*>(data);
  std::size_t units = 0;
  if (type == REG_MULTI_SZ) {
    while (text[units] != 0 || text[units + 1] != 0) ++units;
    units += 2;
  } else {
    units = std::u16string_view(text).size() + 1;
  }
  return static_cast<ULONG>(units * sizeof(WCHAR));
}

NTSTATUS CopyString(UNICODE_STRING& out, const UCHAR* data, ULONG length) {
  std::size_t bytes = length & ~ULONG{1};
  if (bytes >= 2 && data[bytes - 2] == 0 && data[bytes - 1] == 0) bytes -= 2;  // the terminator
  if (bytes + sizeof(WCHAR) > 0xFFFF) return STATUS_BUFFER_TOO_SMALL;
  if (out.Buffer == nullptr) {
    out.Buffer =
        static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), ex::kStringTag));
    if (out.Buffer == nullptr) return STATUS_NO_MEMORY;
    out.MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
  } else {
    ex::CheckUnicodeString(out, "RtlQueryRegistryValues");
    if (bytes + sizeof(WCHAR) > out.MaximumLength) return STATUS_BUFFER_TOO_SMALL;
  }
  if (bytes != 0) std::memcpy(out.Buffer, data, bytes);
  out.Buffer[bytes / sizeof(WCHAR)] = 0;
  out.Length = static_cast<USHORT>(bytes);
  return STATUS_SUCCESS;
}

NTSTATUS CopyDirect(void* destination, ULONG type, const void* data, ULONG length) {
  auto* const bytes = static_cast<const UCHAR*>(data);
  if (IsStringType(type))
    return CopyString(*static_cast<UNICODE_STRING*>(destination), bytes, length);
  auto* const out = static_cast<UCHAR*>(destination);
  if (length <= sizeof(ULONG)) {
    if (length != 0) std::memcpy(out, bytes, length);
    return STATUS_SUCCESS;
  }
  ULONG capacity = 0;
  std::memcpy(&capacity, out, sizeof capacity);
  if (length > capacity) return STATUS_BUFFER_TOO_SMALL;
  std::memcpy(out, &length, sizeof length);
  std::memcpy(out + sizeof(ULONG), bytes, length);
  return STATUS_SUCCESS;
}

void CheckEntry(const RTL_QUERY_REGISTRY_TABLE& entry) {
  if (entry.QueryRoutine != nullptr || (entry.Flags & RTL_QUERY_REGISTRY_DIRECT) == 0) {
    diag::Fatal("reg.query-table",
                "an entry without RTL_QUERY_REGISTRY_DIRECT: the callback form "
                "is not supported");
  }
  if ((entry.Flags & kUnsupportedFlags) != 0) {
    diag::Fatal("reg.query-table", "SUBKEY, TOPKEY, NOVALUE and DELETE entries are not supported");
  }
}

}  // namespace

NTSTATUS RtlKeyPath(ULONG relativeTo, PCWSTR path, std::u16string* full) {
  switch (relativeTo & ~RTL_REGISTRY_OPTIONAL) {
    case RTL_REGISTRY_ABSOLUTE:
      if (path == nullptr) return STATUS_INVALID_PARAMETER;
      *full = path;
      return STATUS_SUCCESS;
    case RTL_REGISTRY_SERVICES:
      *full = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services";
      break;
    case RTL_REGISTRY_DEVICEMAP:
      *full = u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP";
      break;
    default:
      return STATUS_INVALID_PARAMETER;
  }
  if (path != nullptr && path[0] != 0) {
    if (path[0] != u'\\') *full += u'\\';
    *full += path;
  }
  return STATUS_SUCCESS;
}

namespace {

NTSTATUS OpenRtlKey(const Registry& registry, ULONG relativeTo, PCWSTR path,
                    std::shared_ptr<Key>* key) {
  std::u16string full;
  const NTSTATUS status = RtlKeyPath(relativeTo, path, &full);
  return status == STATUS_SUCCESS ? registry.OpenKey(nullptr, full, key) : status;
}

}  // namespace

NTSTATUS QueryRegistryValues(Registry& registry, ULONG relativeTo, PCWSTR path,
                             const RTL_QUERY_REGISTRY_TABLE* table) {
  std::shared_ptr<Key> key;
  NTSTATUS status = OpenRtlKey(registry, relativeTo, path, &key);
  if (status == STATUS_OBJECT_NAME_NOT_FOUND && (relativeTo & RTL_REGISTRY_OPTIONAL) != 0) {
    return STATUS_SUCCESS;
  }
  if (status != STATUS_SUCCESS) return status;

  for (const auto* entry = table; entry->QueryRoutine != nullptr || entry->Name != nullptr;
       ++entry) {
    CheckEntry(*entry);
    if (const Value* value = key->FindValue(entry->Name)) {
      status = CopyDirect(entry->EntryContext, value->type, value->data.data(),
                          static_cast<ULONG>(value->data.size()));
    } else if ((entry->Flags & RTL_QUERY_REGISTRY_REQUIRED) != 0) {
      status = STATUS_OBJECT_NAME_NOT_FOUND;
    } else if (entry->DefaultType != REG_NONE) {
      const ULONG length = entry->DefaultLength != 0
                               ? entry->DefaultLength
                               : DefaultLength(entry->DefaultType, entry->DefaultData);
      status = CopyDirect(entry->EntryContext, entry->DefaultType, entry->DefaultData, length);
    }
    if (status != STATUS_SUCCESS) return status;
  }
  return STATUS_SUCCESS;
}

NTSTATUS WriteRegistryValue(Registry& registry, ULONG relativeTo, PCWSTR path, PCWSTR valueName,
                            ULONG valueType, const void* valueData, ULONG valueLength) {
  std::shared_ptr<Key> key;
  const NTSTATUS status = OpenRtlKey(registry, relativeTo, path, &key);
  if (status != STATUS_SUCCESS) return status;
  if (valueData == nullptr && valueLength != 0) return STATUS_INVALID_PARAMETER;
  const auto* bytes = static_cast<const UCHAR*>(valueData);
  return registry.SetValue(*key, View(valueName), valueType, {bytes, bytes + valueLength});
}

NTSTATUS DeleteRegistryValue(Registry& registry, ULONG relativeTo, PCWSTR path, PCWSTR valueName) {
  std::shared_ptr<Key> key;
  const NTSTATUS status = OpenRtlKey(registry, relativeTo, path, &key);
  if (status != STATUS_SUCCESS) return status;
  return registry.DeleteValue(*key, View(valueName));
}

NTSTATUS CheckRegistryKey(const Registry& registry, ULONG relativeTo, PCWSTR path) {
  std::shared_ptr<Key> key;
  return OpenRtlKey(registry, relativeTo, path, &key);
}

NTSTATUS CreateRegistryKey(Registry& registry, ULONG relativeTo, PCWSTR path) {
  std::u16string full;
  NTSTATUS status = RtlKeyPath(relativeTo, path, &full);
  std::shared_ptr<Key> key;
  ULONG disposition = 0;
  if (status == STATUS_SUCCESS) {
    status = registry.CreateKey(nullptr, full, REG_OPTION_NON_VOLATILE, &key, &disposition);
  }
  return status;
}

}  // namespace plat::reg
