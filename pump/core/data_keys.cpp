#include "pump/core/data_keys.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

#include "platform/ke/ke.h"

namespace pump {
namespace {

// The entries in use; a count outside the table's capacity is held to it.
template <std::size_t N>
std::span<const DataKey> Used(const DataKey (&slots)[N], std::int32_t count) {
  return std::span(slots).first(static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, N)));
}

const DataKey* Find(std::span<const DataKey> used, std::uint32_t key) {
  for (const DataKey& entry : used) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

std::string HexKey(std::uint32_t key) {
  char digits[8];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), key, 16).ptr;
  return "0x" + std::string(digits, end);
}

template <std::size_t N>
KeyInsert Add(DataKey (&slots)[N], std::int32_t& count, const char* table_name, std::uint32_t key,
              std::span<std::uint8_t> buffer) {
  const auto used = Used(slots, count);
  if (Find(used, key) != nullptr) return KeyInsert::kDuplicate;
  if (used.size() == N) {
    DbgPrint("%s key table full (%zu keys): key %s refused", table_name, N, HexKey(key).c_str());
    return KeyInsert::kRefused;
  }
  const auto size = std::min<std::size_t>(buffer.size(), std::numeric_limits<std::uint32_t>::max());
  slots[used.size()] = {key, buffer.data(), static_cast<std::uint32_t>(size)};
  count = static_cast<std::int32_t>(used.size() + 1);
  return KeyInsert::kAdded;
}

std::span<std::uint8_t> Buffer(const DataKey* entry) {
  if (entry == nullptr || entry->buffer == nullptr) return {};
  return {entry->buffer, entry->size};
}

std::size_t CopyInto(std::span<std::uint8_t> to, std::span<const std::uint8_t> from) {
  const std::size_t n = std::min(to.size(), from.size());
  std::copy_n(from.begin(), n, to.begin());
  return n;
}

}  // namespace

KeyInsert AddParamKey(HostInterface& host, std::uint32_t key, std::span<std::uint8_t> buffer) {
  return Add(host.param_key_table, host.param_key_count, "parameter", key, buffer);
}

KeyInsert AddMemKey(HostInterface& host, std::uint32_t key, std::span<std::uint8_t> buffer) {
  return Add(host.mem_key_table, host.mem_key_count, "memory", key, buffer);
}

const DataKey* FindParamKey(const HostInterface& host, std::uint32_t key) {
  return Find(Used(host.param_key_table, host.param_key_count), key);
}

const DataKey* FindMemKey(const HostInterface& host, std::uint32_t key) {
  return Find(Used(host.mem_key_table, host.mem_key_count), key);
}

std::uint32_t ParamKeySize(const HostInterface& host, std::uint32_t key) {
  const DataKey* entry = FindParamKey(host, key);
  return entry != nullptr ? entry->size : 0;
}

std::uint32_t MemKeySize(const HostInterface& host, std::uint32_t key) {
  const DataKey* entry = FindMemKey(host, key);
  return entry != nullptr ? entry->size : 0;
}

std::size_t WriteParamKey(const HostInterface& host, std::uint32_t key,
                          std::span<const std::uint8_t> data) {
  return CopyInto(Buffer(FindParamKey(host, key)), data);
}

std::size_t ReadParamKey(const HostInterface& host, std::uint32_t key,
                         std::span<std::uint8_t> data) {
  return CopyInto(data, Buffer(FindParamKey(host, key)));
}

std::size_t WriteMemKey(const HostInterface& host, std::uint32_t key,
                        std::span<const std::uint8_t> data) {
  return CopyInto(Buffer(FindMemKey(host, key)), data);
}

std::size_t ReadMemKey(const HostInterface& host, std::uint32_t key, std::span<std::uint8_t> data) {
  return CopyInto(data, Buffer(FindMemKey(host, key)));
}

std::size_t WriteMemKeyPart(const HostInterface& host, std::uint32_t key, std::size_t word_index,
                            std::span<const std::uint8_t> data) {
  const auto buffer = Buffer(FindMemKey(host, key));
  if (word_index >= (buffer.size() + 1) / 2) return 0;  // starts past the buffer
  return CopyInto(buffer.subspan(2 * word_index), data);
}

}  // namespace pump
