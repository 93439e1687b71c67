// Kernel status codes used across the platform and the drivers.
#pragma once

#include "platform/nt/ntdef.h"

constexpr NTSTATUS NtStatus(std::uint32_t code) { return static_cast<NTSTATUS>(code); }

inline constexpr NTSTATUS STATUS_SUCCESS = 0;
inline constexpr NTSTATUS STATUS_WAIT_0 = 0;
inline constexpr NTSTATUS STATUS_TIMEOUT = 0x102;
inline constexpr NTSTATUS STATUS_PENDING = 0x103;
inline constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = NtStatus(0x80000005);
inline constexpr NTSTATUS STATUS_UNSUCCESSFUL = NtStatus(0xC0000001);
inline constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = NtStatus(0xC0000002);
inline constexpr NTSTATUS STATUS_INVALID_HANDLE = NtStatus(0xC0000008);
inline constexpr NTSTATUS STATUS_INVALID_PARAMETER = NtStatus(0xC000000D);
inline constexpr NTSTATUS STATUS_NO_SUCH_DEVICE = NtStatus(0xC000000E);
inline constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = NtStatus(0xC0000010);
inline constexpr NTSTATUS STATUS_NO_MEMORY = NtStatus(0xC0000017);
inline constexpr NTSTATUS STATUS_ACCESS_DENIED = NtStatus(0xC0000022);
inline constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = NtStatus(0xC0000023);
inline constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = NtStatus(0xC0000024);
inline constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = NtStatus(0xC0000033);
inline constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = NtStatus(0xC0000034);
inline constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = NtStatus(0xC0000035);
inline constexpr NTSTATUS STATUS_OBJECT_PATH_SYNTAX_BAD = NtStatus(0xC000003B);
inline constexpr NTSTATUS STATUS_DELETE_PENDING = NtStatus(0xC0000056);
inline constexpr NTSTATUS STATUS_INTEGER_OVERFLOW = NtStatus(0xC0000095);
inline constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = NtStatus(0xC000009A);
inline constexpr NTSTATUS STATUS_CANCELLED = NtStatus(0xC0000120);
inline constexpr NTSTATUS STATUS_CANNOT_DELETE = NtStatus(0xC0000121);
inline constexpr NTSTATUS STATUS_INVALID_DEVICE_STATE = NtStatus(0xC0000184);
inline constexpr NTSTATUS STATUS_REGISTRY_IO_FAILED = NtStatus(0xC000014D);
inline constexpr NTSTATUS STATUS_KEY_DELETED = NtStatus(0xC000017C);
inline constexpr NTSTATUS STATUS_CHILD_MUST_BE_VOLATILE = NtStatus(0xC0000181);
inline constexpr NTSTATUS STATUS_ILLEGAL_FLOAT_CONTEXT = NtStatus(0xC000014A);
inline constexpr NTSTATUS STATUS_INVALID_BUFFER_SIZE = NtStatus(0xC0000206);
inline constexpr NTSTATUS STATUS_MORE_PROCESSING_REQUIRED = NtStatus(0xC0000016);
