#include <string>

#include "platform/ex/handletable.h"
#include "platform/nt/ntstatus.h"

namespace plat::ex {

const ke::ObjectType kEventObjectType{"Event", nullptr};

}  // namespace plat::ex

NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                   POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                   PVOID* Object, POBJECT_HANDLE_INFORMATION HandleInformation) {
  const plat::ex::HandleEntry* entry = plat::ex::HandlesOf(plat::ke::CurrentKernel()).Find(Handle);
  if (entry == nullptr || (AccessMode == UserMode && entry->opener != UserMode)) {
    return STATUS_INVALID_HANDLE;
  }
  if (ObjectType != nullptr && &plat::ke::TypeOfObject(entry->object) != ObjectType) {
    return STATUS_OBJECT_TYPE_MISMATCH;
  }
  if (AccessMode == UserMode && (DesiredAccess & ~entry->access) != 0) {
    return STATUS_ACCESS_DENIED;
  }
  ObReferenceObject(entry->object);
  *Object = entry->object;
  if (HandleInformation != nullptr) *HandleInformation = {0, entry->access};
  return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE Handle) {
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  plat::ex::RequireKernelHandle(kernel, Handle, "ZwClose");
  ObDereferenceObject(plat::ex::HandlesOf(kernel).Close(Handle));
  return STATUS_SUCCESS;
}
