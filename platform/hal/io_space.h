// Device memory mapped into a machine: each mapping reserves a host region
// that cannot be touched (a raw dereference faults), so every register access
// must go through the machine's accessors, which find the mapping and turn the
// host address back into a bus address.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat::hal {

class IoSpace {
 public:
  IoSpace() = default;
  ~IoSpace();
  IoSpace(const IoSpace&) = delete;
  IoSpace& operator=(const IoSpace&) = delete;

  // Null when the host refuses the reservation.
  void* Map(std::uint64_t physical, std::uint32_t length);
  // Fatal unless (base, length) names a live mapping.
  void Unmap(void* base, std::size_t length);

  // The bus address behind [address, address + width) of one live mapping.
  std::optional<std::uint64_t> PhysicalOf(const volatile void* address, unsigned width) const;

  std::size_t LiveCount() const { return mappings_.size(); }
  // Fatal when mappings are still live.
  void CheckNoneLeft() const;

 private:
  struct Mapping {
    std::uintptr_t host;
    std::uint32_t length;
    std::size_t reserved;
    std::uint64_t physical;
    std::string made_by;  // the driver whose code mapped it
  };
  std::vector<Mapping> mappings_;  // in mapping order
};

}  // namespace plat::hal
