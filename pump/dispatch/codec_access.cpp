#include "pump/dispatch/codec_access.h"

#include <algorithm>
#include <cstring>

#include "pump/afe_access/afe_access.h"
#include "pump/context/afe_info_copy.h"
#include "pump/core/data_keys.h"

namespace pump {
namespace {

constexpr std::size_t kRecordBytes = 16;
constexpr std::size_t kRecordTail = 16;  // byte offset of key 0x1828 in the codec area

// The register pairs of the record's eight words: low byte, high byte.
constexpr std::array<std::array<ULONG, 2>, 8> kRecordRegisters = {
    {{1, 2}, {5, 6}, {7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}, {17, 18}}};

// Kind 6: the DAA ring-detect codes by bits 2-3 of setting A.
constexpr std::array<ULONG, 4> kKindSixRingCodes = {0x30, 0x70, 0x80, 0x82};

ULONG ReadRegister(AfeAccess& afe, ULONG reg) {
  ULONG request[2] = {reg, 0};
  ULONG size = sizeof request;
  IssueAfeRequest(afe, afe::kAfeRegisterRead, request, &size);
  return request[1];
}

void WriteRegister(AfeAccess& afe, ULONG reg, ULONG value) {
  ULONG request[2] = {reg, value};
  ULONG size = sizeof request;
  IssueAfeRequest(afe, afe::kAfeRegisterWrite, request, &size);
}

void Update(AfeAccess& afe, ULONG reg, ULONG keep, ULONG set) {
  WriteRegister(afe, reg, (ReadRegister(afe, reg) & keep) | set);
}

void BuildRecord(DspContext& context) {
  AfeAccess& afe = *context.afe;
  for (std::size_t i = 0; i < kRecordRegisters.size(); ++i) {
    const ULONG low = ReadRegister(afe, kRecordRegisters[i][0]) & 0xFF;
    const ULONG high = ReadRegister(afe, kRecordRegisters[i][1]) & 0xFF;
    context.codec_area[2 * i] = static_cast<std::uint8_t>(low);
    context.codec_area[2 * i + 1] = static_cast<std::uint8_t>(high);
  }
}

}  // namespace

std::span<const std::uint8_t> ReadCodecKey(DspContext& context, std::uint32_t key) {
  static constexpr std::uint8_t kZeros[kRecordBytes] = {};
  const bool record_kind = context.afe_info.ControllerKind == kCodecKindRecord;
  if (key == kCodecRecordKey) {
    if (!record_kind) return kZeros;
    BuildRecord(context);
    return std::span(context.codec_area).first(kRecordBytes);
  }
  if (!record_kind) return std::span(kZeros).first(2);
  return std::span(context.codec_area).subspan(kRecordTail, 2);
}

bool ProgramDaa(DspContext& context, std::uint32_t key, std::span<const std::uint8_t> data) {
  AfeAccess& afe = *context.afe;
  const ULONG kind = context.afe_info.ControllerKind;
  const std::size_t needed = kind == kCodecKindRecord ? 2 : 1;
  if (data.size() < needed) return false;
  const ULONG b = data[0];
  if (kind == kCodecKindRecord) {
    WriteRegister(afe, data[1], b);
    WriteMemKey(*context.host, key, data);
  } else if (kind == kCodecKindSix) {
    if (key == kDaaSettingAKey) {
      Update(afe, 0x40, ~ULONG{0x6F}, b & 0x6F);
      Update(afe, 0x4A, ~ULONG{0xF2}, kKindSixRingCodes[(b >> 2) & 3]);
    }
  } else if (key == kDaaSettingAKey) {
    Update(afe, kind == kCodecKindNine ? 0x0D : 0x5C, 0xFFFFFF42, (b & 0x21) | (b & 0x4E) << 1);
  } else {
    Update(afe, kind == kCodecKindNine ? 0x0F : 0x62, ~ULONG{0x18}, b & 0x18);
  }
  RefreshAfeInfo(context);
  return true;
}

std::array<std::uint8_t, 16> ReadWindow(DspContext& context, std::uint32_t key) {
  const bool first = key < kSecondWindowKey;
  const ULONG* list = first ? context.afe_info.FirstTable : context.afe_info.SecondTable;
  const std::size_t start = (key - (first ? kFirstWindowKey : kSecondWindowKey)) / 2;
  std::array<std::uint8_t, 16> answer{};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t index = start + i;
    const ULONG reg = index < std::size(context.afe_info.FirstTable) ? list[index] : 0;
    const ULONG value = reg != 0 ? ReadRegister(*context.afe, reg) : 0;
    std::memcpy(&answer[4 * i], &value, sizeof value);
  }
  return answer;
}

}  // namespace pump
