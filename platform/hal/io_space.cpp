#include "platform/hal/io_space.h"

#include <sys/mman.h>

#include <string>

#include "platform/diag/fatal.h"
#include "platform/hal/hex_text.h"
#include "platform/ke/context.h"

namespace plat::hal {
namespace {

constexpr std::size_t kPage = 4096;

}  // namespace

IoSpace::~IoSpace() {
  for (const Mapping& mapping : mappings_) {
    munmap(reinterpret_cast<void*>(mapping.host), mapping.reserved);
  }
}

void* IoSpace::Map(std::uint64_t physical, std::uint32_t length) {
  if (length == 0) return nullptr;
  const std::size_t page_offset = physical % kPage;
  const std::size_t reserved = (page_offset + length + kPage - 1) / kPage * kPage;
  void* region =
      mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  const auto host = reinterpret_cast<std::uintptr_t>(region) + page_offset;
  mappings_.push_back({host, length, reserved, physical, ke::CurrentOwner()});
  return reinterpret_cast<void*>(host);
}

void IoSpace::Unmap(void* base, std::size_t length) {
  const auto host = reinterpret_cast<std::uintptr_t>(base);
  for (auto it = mappings_.begin(); it != mappings_.end(); ++it) {
    if (it->host == host && it->length == length) {
      munmap(reinterpret_cast<void*>(host - it->physical % kPage), it->reserved);
      mappings_.erase(it);
      return;
    }
  }
  plat::diag::Fatal("hal-unmap-unknown",
                    "no mapping of " + std::to_string(length) + " bytes at that address");
}

std::optional<std::uint64_t> IoSpace::PhysicalOf(const volatile void* address,
                                                 unsigned width) const {
  const auto host = reinterpret_cast<std::uintptr_t>(address);
  for (const Mapping& mapping : mappings_) {
    if (host >= mapping.host && host - mapping.host + width <= mapping.length) {
      return mapping.physical + (host - mapping.host);
    }
  }
  return std::nullopt;
}

void IoSpace::CheckNoneLeft() const {
  if (mappings_.empty()) return;
  std::string detail = std::to_string(mappings_.size()) + " mapping(s) left:";
  for (const Mapping& mapping : mappings_) {
    detail += " " + HexText(mapping.physical) + "+" + std::to_string(mapping.length) +
              ke::MadeBy(mapping.made_by);
  }
  plat::diag::Fatal("hal-mapping-leak", detail);
}

}  // namespace plat::hal
