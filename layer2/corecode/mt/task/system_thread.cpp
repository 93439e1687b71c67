#include "layer2/corecode/mt/task/system_thread.h"

namespace vxctl {

StartedThread start_system_thread(PKSTART_ROUTINE routine, PVOID context) {
  HANDLE handle = 0;
  NTSTATUS status =
      PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, 0, nullptr, routine, context);
  if (!NT_SUCCESS(status)) return {status, false, nullptr};
  PVOID thread = nullptr;
  status = ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &thread,
                                     nullptr);
  ZwClose(handle);
  if (!NT_SUCCESS(status)) return {status, true, nullptr};
  return {STATUS_SUCCESS, true, static_cast<PKTHREAD>(thread)};
}

}  // namespace vxctl
