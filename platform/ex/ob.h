// The object manager's handles: 32-bit values that name a referenced object
// in the machine's handle table, with the access they grant and whether user
// or kernel code opened them. Objects are the kernel's reference-counted
// objects (platform/ke/object.h); their type descriptors are constants.
//
//   HANDLE thread;
//   PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr, Routine, context);
//   PVOID object;
//   ObReferenceObjectByHandle(thread, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &object,
//                             nullptr);
//   ZwClose(thread);  // the reference outlives the handle
#pragma once

#include "platform/ex/objattr.h"
#include "platform/ke/ke.h"
#include "platform/ke/object.h"

using PHANDLE = HANDLE*;
using POBJECT_TYPE = const plat::ke::ObjectType*;

// Event and thread access rights.
inline constexpr ACCESS_MASK EVENT_QUERY_STATE = 0x0001;
inline constexpr ACCESS_MASK EVENT_MODIFY_STATE = 0x0002;
inline constexpr ACCESS_MASK EVENT_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3;
inline constexpr ACCESS_MASK THREAD_TERMINATE = 0x0001;
inline constexpr ACCESS_MASK THREAD_QUERY_INFORMATION = 0x0040;
inline constexpr ACCESS_MASK THREAD_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3FF;

struct OBJECT_HANDLE_INFORMATION {
  ULONG HandleAttributes;
  ACCESS_MASK GrantedAccess;
};
using POBJECT_HANDLE_INFORMATION = OBJECT_HANDLE_INFORMATION*;

struct CLIENT_ID {
  HANDLE UniqueProcess;
  HANDLE UniqueThread;
};
using PCLIENT_ID = CLIENT_ID*;

namespace plat::ex {

// Events made by the object manager (user-mode CreateEvent): the body is a KEVENT.
extern const ke::ObjectType kEventObjectType;
inline constexpr POBJECT_TYPE kEventType = &kEventObjectType;
inline constexpr POBJECT_TYPE kThreadType = &ke::kThreadObjectType;

}  // namespace plat::ex

// The type descriptors as drivers name them: *ExEventObjectType, *PsThreadType.
inline constexpr const POBJECT_TYPE* ExEventObjectType = &plat::ex::kEventType;
inline constexpr const POBJECT_TYPE* PsThreadType = &plat::ex::kThreadType;

// Adds a reference to the handle's object. STATUS_INVALID_HANDLE for a handle
// that is not open (or that kernel code opened, asked from user mode);
// STATUS_OBJECT_TYPE_MISMATCH when ObjectType is given and differs;
// STATUS_ACCESS_DENIED in user mode when the handle does not grant
// DesiredAccess (kernel mode skips the check).
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                   POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                   PVOID* Object, POBJECT_HANDLE_INFORMATION HandleInformation);

// Closes a handle of kernel code; closing one that is not open is fatal.
NTSTATUS ZwClose(HANDLE Handle);

// Starts a system thread and opens a kernel handle to it. ObjectAttributes'
// name, when given, names the thread in traces. STATUS_INSUFFICIENT_RESOURCES
// when the thread cannot be made or the handle table is full.
NTSTATUS PsCreateSystemThread(PHANDLE ThreadHandle, ACCESS_MASK DesiredAccess,
                              POBJECT_ATTRIBUTES ObjectAttributes, HANDLE ProcessHandle,
                              PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine,
                              PVOID StartContext);
