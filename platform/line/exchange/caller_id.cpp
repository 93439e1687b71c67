#include "platform/line/exchange/caller_id.h"

#include <algorithm>
#include <cstdio>

namespace plat::line::exchange {
namespace {

constexpr std::uint8_t kDle = 0x10, kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kBel = 0x07;
constexpr int kSeizureBits = 300;
constexpr int kOnHookMarks = 180;
constexpr int kOffHookMarks = 80;
constexpr int kJclipMarks = 80;
constexpr int kClosingMarks = 2;

void AddText(std::vector<std::uint8_t>& to, const std::string& text, std::size_t max) {
  to.insert(to.end(), text.begin(), text.begin() + static_cast<long>(std::min(text.size(), max)));
}

void AddParameter(std::vector<std::uint8_t>& to, std::uint8_t type, const std::string& text,
                  std::size_t max) {
  to.push_back(type);
  to.push_back(static_cast<std::uint8_t>(std::min(text.size(), max)));
  AddText(to, text, max);
}

// Fills in the length byte and appends the checksum.
std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> message) {
  message[1] = static_cast<std::uint8_t>(message.size() - 2);
  std::uint8_t sum = 0;
  for (std::uint8_t b : message) sum = static_cast<std::uint8_t>(sum + b);
  message.push_back(static_cast<std::uint8_t>(-sum));
  return message;
}

std::uint8_t EvenParity(std::uint8_t c) {
  c &= 0x7F;
  int ones = 0;
  for (int i = 0; i < 7; ++i) ones += (c >> i) & 1;
  return static_cast<std::uint8_t>(c | (ones & 1) << 7);
}

std::uint16_t Crc16Reflected(const std::vector<std::uint8_t>& bytes, std::size_t from) {
  std::uint16_t crc = 0;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
  }
  return crc;
}

}  // namespace

std::vector<std::uint8_t> SdmfMessage(const CallerIdInfo& info) {
  std::vector<std::uint8_t> m = {0x04, 0};
  AddText(m, info.date_time, 8);
  AddText(m, info.number, kSdmfNumberMax);
  return Sealed(std::move(m));
}

std::vector<std::uint8_t> MdmfMessage(const CallerIdInfo& info) {
  std::vector<std::uint8_t> m = {0x80, 0};
  AddParameter(m, 0x01, info.date_time, 8);
  AddParameter(m, 0x02, info.number, kMdmfNumberMax);
  if (!info.name.empty()) AddParameter(m, 0x07, info.name, kMdmfNameMax);
  return Sealed(std::move(m));
}

std::vector<std::uint8_t> JclipFrame(const CallerIdInfo& info) {
  std::vector<std::uint8_t> body = {0x40, 0};
  AddParameter(body, 0x02, info.number, kMdmfNumberMax);
  body[1] = static_cast<std::uint8_t>(body.size() - 2);
  std::vector<std::uint8_t> frame = {kDle, kSoh, kBel, kDle, kStx};
  for (std::uint8_t b : body) {
    if (b == kDle) frame.push_back(kDle);
    frame.push_back(b);
  }
  frame.push_back(kDle);
  frame.push_back(kEtx);
  for (std::uint8_t& c : frame) c = EvenParity(c);
  const std::uint16_t crc = Crc16Reflected(frame, 2);
  frame.push_back(static_cast<std::uint8_t>(crc));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

std::string DtmfCallerId(const CallerIdInfo& info) {
  std::string digits;
  for (char c : info.number) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  return "A" + digits + "C";
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02x", b);
    text += (text.empty() ? "" : " ") + std::string(byte);
  }
  return text;
}

std::vector<std::int16_t> OnHookFsk(FskTones tones, const std::vector<std::uint8_t>& message,
                                    double dbm0) {
  BitStream bits;
  bits.Alternations(kSeizureBits).Marks(kOnHookMarks).Bytes(message).Marks(kClosingMarks);
  return RenderFsk(tones, bits, dbm0);
}

std::vector<std::int16_t> OffHookFsk(FskTones tones, const std::vector<std::uint8_t>& message,
                                     double dbm0) {
  BitStream bits;
  bits.Marks(kOffHookMarks).Bytes(message).Marks(kClosingMarks);
  return RenderFsk(tones, bits, dbm0);
}

std::vector<std::int16_t> JclipFsk(const std::vector<std::uint8_t>& frame, double dbm0) {
  BitStream bits;
  bits.Marks(kJclipMarks).Bytes(frame).Marks(kClosingMarks);
  return RenderFsk(kV23Forward, bits, dbm0);
}

}  // namespace plat::line::exchange
