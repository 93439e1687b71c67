#include <string>

#include "platform/ex/handletable.h"
#include "platform/nt/ntstatus.h"

NTSTATUS PsCreateSystemThread(PHANDLE ThreadHandle, ACCESS_MASK DesiredAccess,
                              POBJECT_ATTRIBUTES ObjectAttributes, HANDLE /*ProcessHandle*/,
                              PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine,
                              PVOID StartContext) {
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  plat::ex::HandleTable& handles = plat::ex::HandlesOf(kernel);
  HANDLE handle = 0;
  NTSTATUS status = handles.Reserve(&handle);
  if (status != STATUS_SUCCESS) return status;

  std::string name = "system thread";
  if (ObjectAttributes != nullptr && ObjectAttributes->ObjectName != nullptr) {
    const UNICODE_STRING& text = *ObjectAttributes->ObjectName;
    plat::ex::CheckUnicodeString(text, "PsCreateSystemThread");
    name.clear();
    for (USHORT i = 0; i < text.Length / 2; ++i) {
      name += static_cast<char>(plat::ex::UnicodeToAnsi(text.Buffer[i]));
    }
  }
  PKTHREAD thread = nullptr;
  status = kernel.CreateSystemThread(std::move(name), StartRoutine, StartContext, &thread);
  if (status != STATUS_SUCCESS) {
    handles.Release(handle);
    return status;
  }
  handles.Fill(handle, thread, DesiredAccess, KernelMode);
  *ThreadHandle = handle;
  if (ClientId != nullptr) *ClientId = {0, static_cast<HANDLE>(plat::ke::NumberOfObject(thread))};
  return STATUS_SUCCESS;
}
