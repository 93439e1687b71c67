// The user-mode calls of the system's programming interface that emulated
// user threads make (the voice bridge program, tests): events, threads,
// waits in milliseconds, handles and the per-thread last error. They run on
// the calling thread's machine; a call from kernel code is fatal.
#pragma once

#include "platform/ex/ob.h"

using BOOL = int;
using DWORD = ULONG;
using LPVOID = void*;
using LPDWORD = DWORD*;
using LPCWSTR = const WCHAR*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_NO_SYSTEM_RESOURCES = 1450;

// Unnamed events only (a name gives ERROR_NOT_SUPPORTED). Null on failure.
HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                   LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// A user thread of the caller's machine; flags must be 0. Null on failure.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId);

// WAIT_OBJECT_0 (+ i), WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
void Sleep(DWORD milliseconds);

BOOL CloseHandle(HANDLE handle);

DWORD GetLastError();
void SetLastError(DWORD error);
