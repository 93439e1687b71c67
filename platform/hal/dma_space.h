// Common buffers of one machine: host memory that bus masters reach at
// 32-bit bus addresses handed out from the machine's DMA window, lowest
// free 4096-aligned address first, so addresses depend only on the order of
// allocations and frees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat::hal {

struct CommonBuffer {
  std::uint8_t* host = nullptr;
  std::uint32_t bus_address = 0;
  std::uint32_t length = 0;
  std::string made_by{};  // the driver whose code allocated it
};

struct DmaWindow {
  std::uint32_t base = 0x0100'0000;
  std::uint32_t length = 0x0F00'0000;
};

class DmaSpace {
 public:
  explicit DmaSpace(DmaWindow window = {});
  ~DmaSpace();
  DmaSpace(const DmaSpace&) = delete;
  DmaSpace& operator=(const DmaSpace&) = delete;

  // Zero-filled, 4096-aligned in host and bus space; nullopt when the window is full.
  std::optional<CommonBuffer> Allocate(std::uint32_t length);
  // Fatal unless (host, bus address, length) names a live buffer.
  void Free(const void* host, std::uint64_t bus_address, std::uint32_t length);

  // The host bytes behind [bus_address, bus_address + bytes) when they lie in
  // one live buffer; null otherwise (a master abort on the bus).
  std::uint8_t* Resolve(std::uint32_t bus_address, std::uint32_t bytes) const;
  const CommonBuffer* BufferAt(std::uint32_t bus_address) const;

  // Changes whenever a buffer goes away, so cached translations can be dropped.
  std::uint64_t Generation() const { return generation_; }
  std::size_t LiveCount() const { return buffers_.size(); }
  // Fatal when buffers are still allocated.
  void CheckNoneLeft() const;

 private:
  DmaWindow window_;
  std::vector<CommonBuffer> buffers_;  // ordered by bus address
  std::uint64_t generation_ = 0;
};

}  // namespace plat::hal
