#include "platform/reg/regroutines.h"

#include <new>

#include "platform/ex/handletable.h"
#include "platform/ke/irql.h"
#include "platform/nt/ntstatus.h"
#include "platform/reg/machine_registry.h"
#include "platform/reg/rtlregistry.h"

namespace plat::reg {
namespace {

// Every routine runs through here: at PASSIVE_LEVEL only, on the machine's
// registry, unless the routine's fault knob fails this call.
template <typename Body>
NTSTATUS Serve(const char* routine, Body body) {
  ke::RequirePassiveLevel(routine);
  RegistryService& service = RegistryOf(ke::CurrentKernel());
  if (const auto injected = service.faults.Check(routine)) return *injected;
  return body(service.registry);
}

std::u16string_view NameOf(PCUNICODE_STRING name, const char* routine) {
  if (name == nullptr) return {};
  ex::CheckUnicodeString(*name, routine);
  return {name->Buffer, name->Length / sizeof(WCHAR)};
}

// A referenced key object behind an open key handle of kernel code.
class KeyReference {
 public:
  KeyReference() = default;
  KeyReference(const KeyReference&) = delete;
  KeyReference& operator=(const KeyReference&) = delete;
  ~KeyReference() {
    if (object_ != nullptr) ObDereferenceObject(object_);
  }

  NTSTATUS Take(HANDLE handle, const char* routine) {
    return ex::ReferenceKernelHandle(handle, &kKeyObjectType, routine, &object_);
  }
  Key& key() const { return *static_cast<KeyObject*>(object_)->key; }

 private:
  PVOID object_ = nullptr;
};

// Serves a routine on the key of an open key handle.
template <typename Body>
NTSTATUS ServeKey(const char* routine, HANDLE keyHandle, Body body) {
  return Serve(routine, [&](Registry& registry) {
    KeyReference key;
    const NTSTATUS status = key.Take(keyHandle, routine);
    return status == STATUS_SUCCESS ? body(registry, key.key()) : status;
  });
}

// Serves ZwOpenKey and ZwCreateKey: `find` gets the key that
// ObjectAttributes names (below its root directory's key when one is given)
// and a new handle is opened to it. The handle number is held first, so a
// full table refuses before the registry changes.
template <typename Find>
NTSTATUS ServeNewHandle(const char* routine, PHANDLE keyHandle, ACCESS_MASK access,
                        POBJECT_ATTRIBUTES attributes, Find find) {
  return Serve(routine, [&](Registry& registry) {
    KeyReference root;
    if (attributes->RootDirectory != 0) {
      const NTSTATUS status = root.Take(attributes->RootDirectory, routine);
      if (status != STATUS_SUCCESS) return status;
    }
    const Key* base = attributes->RootDirectory != 0 ? &root.key() : nullptr;
    ke::Kernel& kernel = ke::CurrentKernel();
    ex::HandleTable& handles = ex::HandlesOf(kernel);
    HANDLE handle = 0;
    NTSTATUS status = handles.Reserve(&handle);
    if (status != STATUS_SUCCESS) return status;
    std::shared_ptr<Key> key;
    status = find(registry, base, NameOf(attributes->ObjectName, routine), &key);
    if (status != STATUS_SUCCESS) {
      handles.Release(handle);
      return status;
    }
    PVOID body = ke::CreateObject(kernel, kKeyObjectType, sizeof(KeyObject));
    new (body) KeyObject{std::move(key)};
    handles.Fill(handle, body, access, KernelMode);
    *keyHandle = handle;
    return STATUS_SUCCESS;
  });
}

}  // namespace
}  // namespace plat::reg

using plat::reg::Key;
using plat::reg::NameOf;
using plat::reg::Registry;
using plat::reg::Serve;
using plat::reg::ServeKey;

NTSTATUS ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                   POBJECT_ATTRIBUTES ObjectAttributes) {
  return plat::reg::ServeNewHandle(
      "ZwOpenKey", KeyHandle, DesiredAccess, ObjectAttributes,
      [](Registry& registry, const Key* base, std::u16string_view name, std::shared_ptr<Key>* key) {
        return registry.OpenKey(base, name, key);
      });
}

NTSTATUS ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                     POBJECT_ATTRIBUTES ObjectAttributes, ULONG /*TitleIndex*/,
                     PUNICODE_STRING /*Class*/, ULONG CreateOptions, PULONG Disposition) {
  return plat::reg::ServeNewHandle("ZwCreateKey", KeyHandle, DesiredAccess, ObjectAttributes,
                                   [&](Registry& registry, const Key* base,
                                       std::u16string_view name, std::shared_ptr<Key>* key) {
                                     return registry.CreateKey(base, name, CreateOptions, key,
                                                               Disposition);
                                   });
}

NTSTATUS ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                         PVOID KeyValueInformation, ULONG Length, PULONG ResultLength) {
  return ServeKey("ZwQueryValueKey", KeyHandle, [&](Registry& registry, Key& key) {
    return registry.QueryValue(key, NameOf(ValueName, "ZwQueryValueKey"), KeyValueInformationClass,
                               KeyValueInformation, Length, ResultLength);
  });
}

NTSTATUS ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG /*TitleIndex*/,
                       ULONG Type, PVOID Data, ULONG DataSize) {
  return ServeKey("ZwSetValueKey", KeyHandle, [&](Registry& registry, Key& key) {
    if (Data == nullptr && DataSize != 0) return STATUS_INVALID_PARAMETER;
    const auto* bytes = static_cast<const UCHAR*>(Data);
    return registry.SetValue(key, NameOf(ValueName, "ZwSetValueKey"), Type,
                             {bytes, bytes + DataSize});
  });
}

NTSTATUS ZwDeleteValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName) {
  return ServeKey("ZwDeleteValueKey", KeyHandle, [&](Registry& registry, Key& key) {
    return registry.DeleteValue(key, NameOf(ValueName, "ZwDeleteValueKey"));
  });
}

NTSTATUS ZwDeleteKey(HANDLE KeyHandle) {
  return ServeKey("ZwDeleteKey", KeyHandle,
                  [](Registry& registry, Key& key) { return registry.DeleteKey(key); });
}

NTSTATUS RtlQueryRegistryValues(ULONG RelativeTo, PCWSTR Path, PRTL_QUERY_REGISTRY_TABLE QueryTable,
                                PVOID /*Context*/, PVOID /*Environment*/) {
  return Serve("RtlQueryRegistryValues", [&](Registry& registry) {
    return plat::reg::QueryRegistryValues(registry, RelativeTo, Path, QueryTable);
  });
}

NTSTATUS RtlWriteRegistryValue(ULONG RelativeTo, PCWSTR Path, PCWSTR ValueName, ULONG ValueType,
                               PVOID ValueData, ULONG ValueLength) {
  return Serve("RtlWriteRegistryValue", [&](Registry& registry) {
    return plat::reg::WriteRegistryValue(registry, RelativeTo, Path, ValueName, ValueType,
                                         ValueData, ValueLength);
  });
}

NTSTATUS RtlDeleteRegistryValue(ULONG RelativeTo, PCWSTR Path, PCWSTR ValueName) {
  return Serve("RtlDeleteRegistryValue", [&](Registry& registry) {
    return plat::reg::DeleteRegistryValue(registry, RelativeTo, Path, ValueName);
  });
}

NTSTATUS RtlCheckRegistryKey(ULONG RelativeTo, PWSTR Path) {
  return Serve("RtlCheckRegistryKey", [&](Registry& registry) {
    return plat::reg::CheckRegistryKey(registry, RelativeTo, Path);
  });
}

NTSTATUS RtlCreateRegistryKey(ULONG RelativeTo, PWSTR Path) {
  return Serve("RtlCreateRegistryKey", [&](Registry& registry) {
    return plat::reg::CreateRegistryKey(registry, RelativeTo, Path);
  });
}
