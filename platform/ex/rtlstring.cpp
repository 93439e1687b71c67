#include "platform/ex/rtlstring.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/ex/expool.h"
#include "platform/nt/ntstatus.h"

namespace plat::ex {
namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the page is Latin-1.
constexpr std::array<WCHAR, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

constexpr USHORT kMaxUnicodeBytes = 0xFFFC;  // an even length that leaves room for a terminator
constexpr USHORT kMaxAnsiBytes = 0xFFFE;

SIZE_T UnitCount(PCWSTR text) {
  SIZE_T n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void Terminate(UNICODE_STRING& s) {
  if (s.Length + sizeof(WCHAR) <= s.MaximumLength) s.Buffer[s.Length / sizeof(WCHAR)] = 0;
}

NTSTATUS Append(UNICODE_STRING& destination, const WCHAR* units, SIZE_T bytes) {
  if (bytes == 0) return STATUS_SUCCESS;
  if (destination.Length + bytes > destination.MaximumLength) return STATUS_BUFFER_TOO_SMALL;
  std::memmove(reinterpret_cast<UCHAR*>(destination.Buffer) + destination.Length, units, bytes);
  destination.Length = static_cast<USHORT>(destination.Length + bytes);
  Terminate(destination);
  return STATUS_SUCCESS;
}

int DigitValue(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

LONG Compare(const UNICODE_STRING& first, const UNICODE_STRING& second, bool caseInsensitive) {
  const SIZE_T n = std::min(first.Length, second.Length) / sizeof(WCHAR);
  for (SIZE_T i = 0; i < n; ++i) {
    WCHAR a = first.Buffer[i];
    WCHAR b = second.Buffer[i];
    if (caseInsensitive) {
      a = RtlUpcaseUnicodeChar(a);
      b = RtlUpcaseUnicodeChar(b);
    }
    if (a != b) return static_cast<LONG>(a) - static_cast<LONG>(b);
  }
  return static_cast<LONG>(first.Length) - static_cast<LONG>(second.Length);
}

}  // namespace

void CheckUnicodeString(const UNICODE_STRING& s, const char* routine) {
  const char* fault = nullptr;
  if (s.Length % 2 != 0)
    fault = "odd Length";
  else if (s.Length > s.MaximumLength)
    fault = "Length above MaximumLength";
  else if (s.Length != 0 && s.Buffer == nullptr)
    fault = "Length without a Buffer";
  if (fault == nullptr) return;
  diag::Fatal("rtl.unicode-string", std::string(routine) + ": " + fault + " (Length " +
                                        std::to_string(s.Length) + ", MaximumLength " +
                                        std::to_string(s.MaximumLength) + ")");
}

WCHAR AnsiToUnicode(UCHAR c) {
  return (c >= 0x80 && c < 0xA0) ? kHighControls[c - 0x80] : static_cast<WCHAR>(c);
}

UCHAR UnicodeToAnsi(WCHAR c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<UCHAR>(c);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<UCHAR>(0x80 + i);
  }
  return '?';
}

}  // namespace plat::ex

using plat::ex::CheckUnicodeString;

void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
  destination->Buffer = const_cast<PWSTR>(source);
  if (source == nullptr) {
    destination->Length = destination->MaximumLength = 0;
    return;
  }
  const SIZE_T bytes = plat::ex::UnitCount(source) * sizeof(WCHAR);
  destination->Length = static_cast<USHORT>(std::min<SIZE_T>(bytes, plat::ex::kMaxUnicodeBytes));
  destination->MaximumLength = static_cast<USHORT>(destination->Length + sizeof(WCHAR));
}

void RtlInitAnsiString(PANSI_STRING destination, PCSZ source) {
  destination->Buffer = const_cast<PCHAR>(source);
  if (source == nullptr) {
    destination->Length = destination->MaximumLength = 0;
    return;
  }
  destination->Length =
      static_cast<USHORT>(std::min<SIZE_T>(std::strlen(source), plat::ex::kMaxAnsiBytes));
  destination->MaximumLength = static_cast<USHORT>(destination->Length + 1);
}

void RtlCopyUnicodeString(PUNICODE_STRING destination, PCUNICODE_STRING source) {
  CheckUnicodeString(*destination, "RtlCopyUnicodeString");
  if (source == nullptr) {
    destination->Length = 0;
    return;
  }
  CheckUnicodeString(*source, "RtlCopyUnicodeString");
  // Whole code units only, even when MaximumLength is odd.
  const USHORT bytes = std::min(source->Length, destination->MaximumLength) & ~USHORT{1};
  if (bytes != 0) std::memmove(destination->Buffer, source->Buffer, bytes);
  destination->Length = bytes;
  plat::ex::Terminate(*destination);
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING destination, PCWSTR source) {
  CheckUnicodeString(*destination, "RtlAppendUnicodeToString");
  if (source == nullptr) return STATUS_SUCCESS;
  return plat::ex::Append(*destination, source, plat::ex::UnitCount(source) * sizeof(WCHAR));
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING destination, PCUNICODE_STRING source) {
  CheckUnicodeString(*destination, "RtlAppendUnicodeStringToString");
  CheckUnicodeString(*source, "RtlAppendUnicodeStringToString");
  return plat::ex::Append(*destination, source->Buffer, source->Length);
}

NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string) {
  CheckUnicodeString(*string, "RtlIntegerToUnicodeString");
  if (base == 0) base = 10;
  if (base != 2 && base != 8 && base != 10 && base != 16) return STATUS_INVALID_PARAMETER;
  WCHAR digits[32];
  int count = 0;
  do {
    digits[count++] = static_cast<WCHAR>(u"0123456789ABCDEF"[value % base]);
    value /= base;
  } while (value != 0);
  const SIZE_T bytes = static_cast<SIZE_T>(count) * sizeof(WCHAR);
  if (bytes + sizeof(WCHAR) > string->MaximumLength) return STATUS_BUFFER_OVERFLOW;
  for (int i = 0; i < count; ++i) string->Buffer[i] = digits[count - 1 - i];
  string->Length = static_cast<USHORT>(bytes);
  string->Buffer[count] = 0;
  return STATUS_SUCCESS;
}

NTSTATUS RtlUnicodeStringToInteger(PCUNICODE_STRING string, ULONG base, PULONG value) {
  CheckUnicodeString(*string, "RtlUnicodeStringToInteger");
  if (base != 0 && base != 2 && base != 8 && base != 10 && base != 16) {
    return STATUS_INVALID_PARAMETER;
  }
  const WCHAR* p = string->Buffer;
  const WCHAR* const end = p + string->Length / sizeof(WCHAR);
  while (p != end && *p <= u' ') ++p;
  bool negative = false;
  if (p != end && (*p == u'-' || *p == u'+')) negative = *p++ == u'-';
  if (base == 0) {
    base = 10;
    if (end - p >= 2 && p[0] == u'0') {
      const WCHAR kind = p[1] | 0x20;
      base = kind == u'x' ? 16 : kind == u'o' ? 8 : kind == u'b' ? 2 : 10;
      if (base != 10) p += 2;
    }
  }
  std::uint64_t magnitude = 0;
  for (; p != end && plat::ex::DigitValue(*p) < static_cast<int>(base); ++p) {
    magnitude = magnitude * base + static_cast<unsigned>(plat::ex::DigitValue(*p));
    if (magnitude > 0xFFFFFFFFu) return STATUS_INTEGER_OVERFLOW;
  }
  const auto result = static_cast<ULONG>(magnitude);
  *value = negative ? 0u - result : result;
  return STATUS_SUCCESS;
}

NTSTATUS RtlUnicodeStringToAnsiString(PANSI_STRING destination, PCUNICODE_STRING source,
                                      BOOLEAN allocate) {
  CheckUnicodeString(*source, "RtlUnicodeStringToAnsiString");
  const SIZE_T count = source->Length / sizeof(WCHAR);
  if (allocate) {
    auto* buffer =
        static_cast<PCHAR>(ExAllocatePoolWithTag(PagedPool, count + 1, plat::ex::kStringTag));
    if (buffer == nullptr) return STATUS_NO_MEMORY;
    destination->Buffer = buffer;
    destination->MaximumLength = static_cast<USHORT>(count + 1);
  } else if (count + 1 > destination->MaximumLength) {
    return STATUS_BUFFER_OVERFLOW;
  }
  for (SIZE_T i = 0; i < count; ++i) {
    destination->Buffer[i] = static_cast<CHAR>(plat::ex::UnicodeToAnsi(source->Buffer[i]));
  }
  destination->Buffer[count] = 0;
  destination->Length = static_cast<USHORT>(count);
  return STATUS_SUCCESS;
}

NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING destination, PCANSI_STRING source,
                                      BOOLEAN allocate) {
  const SIZE_T count = source->Length;
  const SIZE_T bytes = count * sizeof(WCHAR);
  if (bytes > plat::ex::kMaxUnicodeBytes) return STATUS_INVALID_PARAMETER;
  if (allocate) {
    auto* buffer = static_cast<PWSTR>(
        ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), plat::ex::kStringTag));
    if (buffer == nullptr) return STATUS_NO_MEMORY;
    destination->Buffer = buffer;
    destination->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
  } else {
    CheckUnicodeString(*destination, "RtlAnsiStringToUnicodeString");
    if (bytes + sizeof(WCHAR) > destination->MaximumLength) return STATUS_BUFFER_OVERFLOW;
  }
  for (SIZE_T i = 0; i < count; ++i) {
    destination->Buffer[i] = plat::ex::AnsiToUnicode(static_cast<UCHAR>(source->Buffer[i]));
  }
  destination->Buffer[count] = 0;
  destination->Length = static_cast<USHORT>(bytes);
  return STATUS_SUCCESS;
}

void RtlFreeUnicodeString(PUNICODE_STRING string) {
  if (string->Buffer != nullptr) ExFreePool(string->Buffer);
  *string = UNICODE_STRING{};
}

void RtlFreeAnsiString(PANSI_STRING string) {
  if (string->Buffer != nullptr) ExFreePool(string->Buffer);
  *string = ANSI_STRING{};
}

WCHAR RtlUpcaseUnicodeChar(WCHAR c) {
  if (c < u'a') return c;
  if (c <= u'z') return static_cast<WCHAR>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<WCHAR>(c - 0x20);
  switch (c) {
    case 0xFF:
      return 0x0178;  // y with diaeresis
    case 0x0153:
      return 0x0152;  // oe
    case 0x0161:
      return 0x0160;  // s with caron
    case 0x017E:
      return 0x017D;  // z with caron
    default:
      return c;
  }
}

LONG RtlCompareUnicodeString(PCUNICODE_STRING first, PCUNICODE_STRING second,
                             BOOLEAN caseInsensitive) {
  CheckUnicodeString(*first, "RtlCompareUnicodeString");
  CheckUnicodeString(*second, "RtlCompareUnicodeString");
  return plat::ex::Compare(*first, *second, caseInsensitive);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING first, PCUNICODE_STRING second,
                              BOOLEAN caseInsensitive) {
  CheckUnicodeString(*first, "RtlEqualUnicodeString");
  CheckUnicodeString(*second, "RtlEqualUnicodeString");
  return plat::ex::Compare(*first, *second, caseInsensitive) == 0 ? TRUE : FALSE;
}
