#include "platform/hal/dma_space.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/hal/hex_text.h"
#include "platform/ke/context.h"

namespace plat::hal {
namespace {

constexpr std::uint64_t kPage = 4096;

std::uint64_t PagesOf(std::uint32_t length) { return (length + kPage - 1) / kPage * kPage; }

}  // namespace

DmaSpace::DmaSpace(DmaWindow window) : window_(window) {}

DmaSpace::~DmaSpace() {
  for (const CommonBuffer& buffer : buffers_) std::free(buffer.host);
}

std::optional<CommonBuffer> DmaSpace::Allocate(std::uint32_t length) {
  if (length == 0) return std::nullopt;
  const std::uint64_t span = PagesOf(length);
  std::uint64_t candidate = window_.base;
  auto position = buffers_.begin();
  for (; position != buffers_.end(); ++position) {
    if (candidate + span <= position->bus_address) break;
    candidate = position->bus_address + PagesOf(position->length);
  }
  if (candidate + span > static_cast<std::uint64_t>(window_.base) + window_.length) {
    return std::nullopt;
  }
  auto* host = static_cast<std::uint8_t*>(std::aligned_alloc(kPage, span));
  if (host == nullptr) return std::nullopt;
  std::memset(host, 0, span);
  const CommonBuffer buffer{host, static_cast<std::uint32_t>(candidate), length,
                            ke::CurrentOwner()};
  buffers_.insert(position, buffer);
  return buffer;
}

void DmaSpace::Free(const void* host, std::uint64_t bus_address, std::uint32_t length) {
  for (auto it = buffers_.begin(); it != buffers_.end(); ++it) {
    if (it->host == host && it->bus_address == bus_address && it->length == length) {
      std::free(it->host);
      buffers_.erase(it);
      ++generation_;
      return;
    }
  }
  plat::diag::Fatal("hal-free-unknown-common-buffer",
                    "no common buffer at bus address " + HexText(bus_address) + " of " +
                        std::to_string(length) + " bytes with that virtual address");
}

const CommonBuffer* DmaSpace::BufferAt(std::uint32_t bus_address) const {
  for (const CommonBuffer& buffer : buffers_) {
    if (bus_address >= buffer.bus_address && bus_address - buffer.bus_address < buffer.length) {
      return &buffer;
    }
  }
  return nullptr;
}

std::uint8_t* DmaSpace::Resolve(std::uint32_t bus_address, std::uint32_t bytes) const {
  const CommonBuffer* buffer = BufferAt(bus_address);
  if (buffer == nullptr) return nullptr;
  const std::uint32_t offset = bus_address - buffer->bus_address;
  if (bytes > buffer->length - offset) return nullptr;
  return buffer->host + offset;
}

void DmaSpace::CheckNoneLeft() const {
  if (buffers_.empty()) return;
  std::string detail = std::to_string(buffers_.size()) + " common buffer(s) left:";
  for (const CommonBuffer& buffer : buffers_) {
    detail += " " + HexText(buffer.bus_address) + "+" + std::to_string(buffer.length) +
              ke::MadeBy(buffer.made_by);
  }
  plat::diag::Fatal("hal-common-buffer-leak", detail);
}

}  // namespace plat::hal
