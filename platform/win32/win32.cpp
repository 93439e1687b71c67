#include "platform/win32/win32.h"

#include <map>
#include <string>
#include <vector>

#include "platform/ex/handletable.h"
#include "platform/nt/ntstatus.h"
#include "platform/win32/user_call.h"

namespace plat::win32 {

namespace {

// The last error of each thread of a machine, by thread object number.
struct LastErrors {
  std::map<ULONG, DWORD> by_thread;
};

}  // namespace

ke::Kernel& RequireUserThread(const char* call) {
  ke::Kernel& kernel = ke::CurrentKernel();
  if (ExGetPreviousMode() != UserMode) {
    kernel.Fatal("win32.kernel-caller", std::string(call) + " called by kernel code");
  }
  return kernel;
}

DWORD& LastError() {
  ke::Kernel& kernel = ke::CurrentKernel();
  return kernel.slots().Get<LastErrors>().by_thread[ke::NumberOfObject(KeGetCurrentThread())];
}

namespace {

bool IsWaitable(PVOID object) {
  const ke::ObjectType* type = &ke::TypeOfObject(object);
  return type == ex::kEventType || type == ex::kThreadType;
}

// A wait's time-out: null for INFINITE, else relative in 100 ns units.
LARGE_INTEGER* Timeout(DWORD milliseconds, LARGE_INTEGER* storage) {
  if (milliseconds == INFINITE) return nullptr;
  storage->QuadPart = -static_cast<LONGLONG>(milliseconds) * 10'000;
  return storage;
}

// The objects of user handles for a wait, referenced; each is released at the end.
class WaitObjects {
 public:
  ~WaitObjects() {
    for (PVOID object : objects_) ObDereferenceObject(object);
  }
  NTSTATUS Add(HANDLE handle) {
    PVOID object = nullptr;
    const NTSTATUS status =
        ObReferenceObjectByHandle(handle, SYNCHRONIZE, nullptr, UserMode, &object, nullptr);
    if (status != STATUS_SUCCESS) return status;
    objects_.push_back(object);
    return IsWaitable(object) ? STATUS_SUCCESS : STATUS_OBJECT_TYPE_MISMATCH;
  }
  std::vector<PVOID>& objects() { return objects_; }

 private:
  std::vector<PVOID> objects_;
};

DWORD WaitResult(NTSTATUS status) {
  if (status == STATUS_TIMEOUT) return WAIT_TIMEOUT;
  if (status >= STATUS_WAIT_0 && status < STATUS_WAIT_0 + 64) return WAIT_OBJECT_0 + status;
  return Fail(RtlNtStatusToDosError(status), WAIT_FAILED);
}

BOOL SetOrReset(HANDLE event, bool set) {
  PVOID object = nullptr;
  const NTSTATUS status = ObReferenceObjectByHandle(event, EVENT_MODIFY_STATE, ex::kEventType,
                                                    UserMode, &object, nullptr);
  if (status != STATUS_SUCCESS) return Fail(RtlNtStatusToDosError(status), FALSE);
  if (set) {
    KeSetEvent(static_cast<PKEVENT>(object), 0, FALSE);
  } else {
    KeClearEvent(static_cast<PKEVENT>(object));
  }
  ObDereferenceObject(object);
  return TRUE;
}

}  // namespace
}  // namespace plat::win32

using plat::win32::Fail;
using plat::win32::RequireUserThread;

HANDLE CreateEvent(LPSECURITY_ATTRIBUTES /*attributes*/, BOOL manualReset, BOOL initialState,
                   LPCWSTR name) {
  plat::ke::Kernel& kernel = RequireUserThread("CreateEvent");
  if (name != nullptr) return Fail(ERROR_NOT_SUPPORTED, HANDLE{0});
  auto* event = static_cast<PKEVENT>(
      plat::ke::CreateObject(kernel, plat::ex::kEventObjectType, sizeof(KEVENT)));
  KeInitializeEvent(event, manualReset ? NotificationEvent : SynchronizationEvent,
                    initialState ? TRUE : FALSE);
  HANDLE handle = 0;
  const NTSTATUS status =
      plat::ex::HandlesOf(kernel).Open(event, EVENT_ALL_ACCESS, UserMode, &handle);
  if (status != STATUS_SUCCESS) {
    ObDereferenceObject(event);
    return Fail(RtlNtStatusToDosError(status), HANDLE{0});
  }
  return handle;
}

BOOL SetEvent(HANDLE event) {
  RequireUserThread("SetEvent");
  return plat::win32::SetOrReset(event, true);
}

BOOL ResetEvent(HANDLE event) {
  RequireUserThread("ResetEvent");
  return plat::win32::SetOrReset(event, false);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, SIZE_T /*stackSize*/,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId) {
  plat::ke::Kernel& kernel = RequireUserThread("CreateThread");
  if (start == nullptr || flags != 0) return Fail(ERROR_INVALID_PARAMETER, HANDLE{0});
  plat::ex::HandleTable& handles = plat::ex::HandlesOf(kernel);
  HANDLE handle = 0;
  NTSTATUS status = handles.Reserve(&handle);
  PKTHREAD thread = nullptr;
  if (status == STATUS_SUCCESS) {
    status = kernel.CreateUserThread(
        "user thread", [start, parameter] { start(parameter); }, &thread);
    if (status != STATUS_SUCCESS) handles.Release(handle);
  }
  if (status != STATUS_SUCCESS) return Fail(RtlNtStatusToDosError(status), HANDLE{0});
  handles.Fill(handle, thread, THREAD_ALL_ACCESS, UserMode);
  if (threadId != nullptr) *threadId = plat::ke::NumberOfObject(thread);
  return handle;
}

namespace plat::win32 {
namespace {

DWORD Wait(const char* call, DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  RequireUserThread(call);
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  }
  WaitObjects wait;
  for (DWORD i = 0; i < count; ++i) {
    const NTSTATUS status = wait.Add(handles[i]);
    if (status != STATUS_SUCCESS) return Fail(RtlNtStatusToDosError(status), WAIT_FAILED);
  }
  std::vector<PVOID>& objects = wait.objects();
  if (waitAll) {
    for (DWORD i = 0; i < count; ++i) {
      for (DWORD j = 0; j < i; ++j) {
        if (objects[i] == objects[j]) return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
      }
    }
  }
  LARGE_INTEGER storage;
  std::vector<KWAIT_BLOCK> blocks(count > THREAD_WAIT_OBJECTS ? count : 0);
  const NTSTATUS status = KeWaitForMultipleObjects(
      count, objects.data(), waitAll ? WaitAll : WaitAny, UserRequest, UserMode, FALSE,
      Timeout(milliseconds, &storage), blocks.empty() ? nullptr : blocks.data());
  return WaitResult(status);
}

}  // namespace
}  // namespace plat::win32

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return plat::win32::Wait("WaitForSingleObject", 1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return plat::win32::Wait("WaitForMultipleObjects", count, handles, waitAll, milliseconds);
}

void Sleep(DWORD milliseconds) {
  RequireUserThread("Sleep");
  LARGE_INTEGER interval;
  interval.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10'000;
  KeDelayExecutionThread(UserMode, FALSE, &interval);
}

BOOL CloseHandle(HANDLE handle) {
  RequireUserThread("CloseHandle");
  const NTSTATUS status = plat::ex::CloseUserHandle(handle);
  return status == STATUS_SUCCESS ? TRUE : Fail(RtlNtStatusToDosError(status), FALSE);
}

DWORD GetLastError() {
  RequireUserThread("GetLastError");
  return plat::win32::LastError();
}

void SetLastError(DWORD error) {
  RequireUserThread("SetLastError");
  plat::win32::LastError() = error;
}
