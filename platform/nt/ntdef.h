// Base types of the kernel interface, with the widths the drivers rely on:
// ULONG and LONG are 32-bit, pointers and *_PTR types are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>

using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using ULONGLONG = std::uint64_t;
using CHAR = char;
using CCHAR = char;
using SHORT = std::int16_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using WCHAR = char16_t;
using BOOLEAN = std::uint8_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using SIZE_T = std::size_t;
using PVOID = void*;
using PUCHAR = UCHAR*;
using PUSHORT = USHORT*;
using PULONG = ULONG*;
using PCSTR = const char*;
using HANDLE = std::uint32_t;  // handles are 32-bit values in this system
using NTSTATUS = std::int32_t;

// C libraries (spandsp among them) define TRUE and FALSE as macros; here
// they are constants of the system's boolean type.
#undef TRUE
#undef FALSE
inline constexpr BOOLEAN TRUE = 1;
inline constexpr BOOLEAN FALSE = 0;

union LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

// A doubly linked list link, as kernel structures embed it.
struct LIST_ENTRY {
  LIST_ENTRY* Flink;
  LIST_ENTRY* Blink;
};
using PLIST_ENTRY = LIST_ENTRY*;

// The list operations drivers use on their own queues: a head links to
// itself when the list is empty.
inline void InitializeListHead(PLIST_ENTRY head) { head->Flink = head->Blink = head; }
inline bool IsListEmpty(const LIST_ENTRY* head) { return head->Flink == head; }
inline void InsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry) {
  entry->Flink = head;
  entry->Blink = head->Blink;
  head->Blink->Flink = entry;
  head->Blink = entry;
}
// Unlinks `entry`; true when the list is empty afterwards.
inline bool RemoveEntryList(PLIST_ENTRY entry) {
  PLIST_ENTRY flink = entry->Flink;
  PLIST_ENTRY blink = entry->Blink;
  blink->Flink = flink;
  flink->Blink = blink;
  return flink == blink;
}
inline PLIST_ENTRY RemoveHeadList(PLIST_ENTRY head) {
  PLIST_ENTRY entry = head->Flink;
  RemoveEntryList(entry);
  return entry;
}

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }
