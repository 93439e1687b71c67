// Counted strings of the kernel interface: UNICODE_STRING over UTF-16 code
// units and ANSI_STRING over Windows-1252 bytes, with the Rtl routines the
// drivers use to build, convert, compare and parse them.
//
// Lengths are in bytes and never count a terminator. Every routine checks the
// strings it is given: an odd Length, a Length above MaximumLength or a
// Length without a Buffer is a fatal "rtl.unicode-string" diagnostic, since such a
// string was never valid and any copy through it would run off its buffer.
#pragma once

#include "platform/ex/pool.h"
#include "platform/nt/ntdef.h"

using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PCHAR = CHAR*;
using PCSZ = const CHAR*;

struct UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

struct STRING {
  USHORT Length;
  USHORT MaximumLength;
  PCHAR Buffer;
};
using ANSI_STRING = STRING;
using PANSI_STRING = STRING*;
using PCANSI_STRING = const STRING*;

// Points the string at a terminated text (or at nothing for null). The text
// is not copied; MaximumLength covers the terminator.
void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source);
void RtlInitAnsiString(PANSI_STRING destination, PCSZ source);

// Copies as much of source as fits; terminates when there is room.
void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source);
// Appends, or returns STATUS_BUFFER_TOO_SMALL and leaves destination as it was.
NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source);
NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source);

// Base 0 means 10; 2, 8, 10 and 16 are accepted, digits upper case. The text
// and its terminator must fit (STATUS_BUFFER_OVERFLOW, nothing written).
NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string);
// Skips leading blanks and control characters, takes a sign, and with base 0
// a prefix "0x", "0o" or "0b" (else decimal); digits end at the first
// character that is not one. No digits gives 0. A magnitude above 32 bits is
// refused with STATUS_INTEGER_OVERFLOW and value is left alone.
NTSTATUS RtlUnicodeStringToInteger(PCUNICODE_STRING string, ULONG base, PULONG value);

// Conversions through the Windows-1252 code page; a character it lacks
// becomes '?'. With allocate set the buffer comes from the paged pool (free it
// with RtlFree*String); otherwise text and terminator must fit the
// destination (STATUS_BUFFER_OVERFLOW, nothing written).
NTSTATUS RtlUnicodeStringToAnsiString(PANSI_STRING destination, PCUNICODE_STRING source,
                                      BOOLEAN allocate);
NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING destination, PCANSI_STRING source,
                                      BOOLEAN allocate);
void RtlFreeUnicodeString(PUNICODE_STRING string);
void RtlFreeAnsiString(PANSI_STRING string);

// Case folding of ASCII, Latin-1 and the letters Windows-1252 adds.
WCHAR RtlUpcaseUnicodeChar(WCHAR c);
// Negative, zero or positive as first sorts before, with or after second.
LONG RtlCompareUnicodeString(PCUNICODE_STRING first, PCUNICODE_STRING second,
                             BOOLEAN caseInsensitive);
BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING first, PCUNICODE_STRING second,
                              BOOLEAN caseInsensitive);

namespace plat::ex {

// Pool tag of the string buffers the Rtl routines allocate.
inline constexpr ULONG kStringTag = PoolTag("Strg");

// The fatal check every routine applies to a UNICODE_STRING it is handed.
void CheckUnicodeString(const UNICODE_STRING& string, const char* routine);

// Windows-1252: every byte has a code unit (the five unassigned ones map to
// the C1 controls of the same number, as the system's tables do).
WCHAR AnsiToUnicode(UCHAR c);
// The byte for a code unit, or '?' when the code page has none.
UCHAR UnicodeToAnsi(WCHAR c);

}  // namespace plat::ex
