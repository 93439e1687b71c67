// The controller's memory and parameter access packets, as its debug
// commands build them, and their answers through a ControllerDouble.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pump/packets/dp_packets.h"
#include "pump/tests/support/controller_double.h"

namespace pump::testing {

// The access code for a key: parameter keys of 0x10000 and above go
// through the high space.
inline std::uint8_t ParamCode(std::uint32_t key, bool write) {
  const bool high = key >= 0x10000;
  if (write) return high ? kCpParamWriteHigh : kCpParamWrite;
  return high ? kCpParamReadHigh : kCpParamRead;
}

inline std::vector<std::uint8_t> KeyBytes(std::uint32_t key) {
  return {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8)};
}

// Key, two ignored bytes, data.
inline std::vector<std::uint8_t> MemoryWritePayload(std::uint32_t key,
                                                    std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> payload = KeyBytes(key);
  payload.insert(payload.end(), {0, 0});
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

// Key, data.
inline std::vector<std::uint8_t> ParamWritePayload(std::uint32_t key,
                                                   std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> payload = KeyBytes(key);
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

// The value a read answers, or nothing when the answer is not the reply.
inline std::optional<std::vector<std::uint8_t>> ReadKey(ControllerDouble& controller,
                                                        std::uint8_t code, std::uint32_t key) {
  const auto answers = controller.Exchange(code, KeyBytes(key));
  const std::uint8_t reply = code == kCpMemoryRead ? kDpMemoryReadReply : kDpParamReadReply;
  if (answers.size() != 1 || answers[0].code != reply) return std::nullopt;
  return answers[0].payload;
}

inline std::optional<std::vector<std::uint8_t>> ReadMemory(ControllerDouble& controller,
                                                           std::uint32_t key) {
  return ReadKey(controller, kCpMemoryRead, key);
}

inline std::optional<std::vector<std::uint8_t>> ReadParam(ControllerDouble& controller,
                                                          std::uint32_t key) {
  return ReadKey(controller, ParamCode(key, false), key);
}

// True when the write was taken without an answer, as a write of a known key is.
inline bool WriteMemory(ControllerDouble& controller, std::uint32_t key,
                        std::span<const std::uint8_t> data) {
  return controller.Exchange(kCpMemoryWrite, MemoryWritePayload(key, data)).empty();
}

inline bool WriteParam(ControllerDouble& controller, std::uint32_t key,
                       std::span<const std::uint8_t> data) {
  return controller.Exchange(ParamCode(key, true), ParamWritePayload(key, data)).empty();
}

// The 16-bit value of a 2-byte key's bytes.
inline std::int16_t Int16Of(const std::vector<std::uint8_t>& bytes) {
  return static_cast<std::int16_t>(bytes.at(0) | bytes.at(1) << 8);
}

}  // namespace pump::testing
