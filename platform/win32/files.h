// The user-mode calls on devices: open a device by its DOS name, read,
// write, send device controls, flush, cancel and close. Every call is
// synchronous: the calling thread waits in a kernel wait while the driver
// keeps its request pending, so virtual time flows meanwhile, and several
// threads may have calls outstanding on one handle at once.
//
//   HANDLE sound = CreateFile(u"\\\\.\\ExampleSound", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
//                             OPEN_EXISTING, 0, 0);
//   DWORD returned;
//   DeviceIoControl(sound, code, nullptr, 0, block, sizeof block, &returned, nullptr);
//   CloseHandle(sound);  // the last handle sends the driver its cleanup
//
// Transfers are buffered: the driver sees a system buffer of max(input,
// output) bytes holding the input, and Information bytes come back unless
// the request failed with an error status.
#pragma once

#include "platform/ex/access.h"
#include "platform/win32/win32.h"

using LPCVOID = const void*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

inline constexpr HANDLE INVALID_HANDLE_VALUE = 0xFFFFFFFF;

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Only devices: "\\.\X" opens what "\??\X" names; any other name gives
// ERROR_FILE_NOT_FOUND. Sharing, dispositions and security are not
// checked (an exclusive device refuses a second open by itself);
// FILE_FLAG_OVERLAPPED and a template give ERROR_NOT_SUPPORTED.
// INVALID_HANDLE_VALUE on failure.
HANDLE CreateFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                  LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                  DWORD flagsAndAttributes, HANDLE templateFile);

// Overlapped calls are not supported (ERROR_NOT_SUPPORTED). The byte count
// is set on success and for warning statuses (which return FALSE with, for
// example, ERROR_MORE_DATA).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);

// With no OVERLAPPED: cancels every request pending on the handle's file,
// whichever thread issued it; ERROR_NOT_FOUND when none is.
BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped);
