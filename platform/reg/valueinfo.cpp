#include "platform/reg/valueinfo.h"

#include <cstring>
#include <initializer_list>

#include "platform/nt/ntstatus.h"

namespace plat::reg {
namespace {

// One record: the u32 fields, then pieces at their byte offsets.
struct Record {
  ULONG fixed_bytes;
  std::initializer_list<ULONG> fields;
  struct Piece {
    ULONG offset;
    const void* bytes;
    ULONG size;
  };
  std::initializer_list<Piece> pieces;
  ULONG full_bytes;
};

NTSTATUS Fill(const Record& record, UCHAR* out, ULONG length, ULONG* resultLength) {
  *resultLength = record.full_bytes;
  if (length < record.fixed_bytes) return STATUS_BUFFER_TOO_SMALL;
  ULONG at = 0;
  for (const ULONG field : record.fields) {
    std::memcpy(out + at, &field, sizeof field);
    at += sizeof field;
  }
  if (length < record.full_bytes) return STATUS_BUFFER_OVERFLOW;
  std::memset(out + at, 0, record.full_bytes - at);  // padding before the data
  for (const auto& piece : record.pieces) {
    if (piece.size != 0) std::memcpy(out + piece.offset, piece.bytes, piece.size);
  }
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS QueryValueInformation(const Value& value, KEY_VALUE_INFORMATION_CLASS infoClass,
                               PVOID buffer, ULONG length, ULONG* resultLength) {
  if (resultLength == nullptr || (buffer == nullptr && length != 0)) {
    return STATUS_INVALID_PARAMETER;
  }
  auto* out = static_cast<UCHAR*>(buffer);
  const auto nameBytes = static_cast<ULONG>(value.name.size() * sizeof(WCHAR));
  const auto dataBytes = static_cast<ULONG>(value.data.size());
  const UCHAR* data = value.data.data();
  switch (infoClass) {
    case KeyValueBasicInformation: {
      constexpr ULONG kFixed = offsetof(KEY_VALUE_BASIC_INFORMATION, Name);
      return Fill({kFixed,
                   {0, value.type, nameBytes},
                   {{kFixed, value.name.data(), nameBytes}},
                   kFixed + nameBytes},
                  out, length, resultLength);
    }
    case KeyValueFullInformation: {
      constexpr ULONG kFixed = offsetof(KEY_VALUE_FULL_INFORMATION, Name);
      const ULONG dataOffset = (kFixed + nameBytes + 3) & ~ULONG{3};
      return Fill({kFixed,
                   {0, value.type, dataOffset, dataBytes, nameBytes},
                   {{kFixed, value.name.data(), nameBytes}, {dataOffset, data, dataBytes}},
                   dataOffset + dataBytes},
                  out, length, resultLength);
    }
    case KeyValuePartialInformation: {
      constexpr ULONG kFixed = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
      return Fill(
          {kFixed, {0, value.type, dataBytes}, {{kFixed, data, dataBytes}}, kFixed + dataBytes},
          out, length, resultLength);
    }
  }
  return STATUS_INVALID_PARAMETER;
}

}  // namespace plat::reg
