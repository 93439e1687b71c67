// The two key tables of the host-interface object: 128 parameter keys and
// 256 memory keys, each naming a buffer of the data pump's memory that the
// controller may read and write by key.
//
// Lookup scans in insertion order and stops at the first match. Copies are
// bounded on both sides: never more than the key's size, never more than
// the caller's span holds, and bytes of the key not covered keep their
// values. A key that is absent copies nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "pump/core/host_interface.h"

namespace pump {

enum class KeyInsert {
  kAdded,
  kDuplicate,  // the key was there already; the first entry stays
  kRefused,    // the table is full; a debug line (DbgPrint) names the key
};

KeyInsert AddParamKey(HostInterface& host, std::uint32_t key, std::span<std::uint8_t> buffer);
KeyInsert AddMemKey(HostInterface& host, std::uint32_t key, std::span<std::uint8_t> buffer);

const DataKey* FindParamKey(const HostInterface& host, std::uint32_t key);
const DataKey* FindMemKey(const HostInterface& host, std::uint32_t key);

// The key's size in bytes, 0 when absent.
std::uint32_t ParamKeySize(const HostInterface& host, std::uint32_t key);
std::uint32_t MemKeySize(const HostInterface& host, std::uint32_t key);

// Each returns the number of bytes copied.
std::size_t WriteParamKey(const HostInterface& host, std::uint32_t key,
                          std::span<const std::uint8_t> data);
std::size_t ReadParamKey(const HostInterface& host, std::uint32_t key,
                         std::span<std::uint8_t> data);
std::size_t WriteMemKey(const HostInterface& host, std::uint32_t key,
                        std::span<const std::uint8_t> data);
std::size_t ReadMemKey(const HostInterface& host, std::uint32_t key, std::span<std::uint8_t> data);
// Writes `data` into the key's buffer from byte 2 * word_index on; bytes
// that would land past the buffer are refused.
std::size_t WriteMemKeyPart(const HostInterface& host, std::uint32_t key, std::size_t word_index,
                            std::span<const std::uint8_t> data);

}  // namespace pump
