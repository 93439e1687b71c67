// The work buffer of one transform call: the caller's, used from its first
// 16-byte boundary (every reported work size holds 16 bytes for that), or,
// when the caller passes none, a block of the reported size allocated for
// the call (32-byte aligned, used as it is) and freed when the call ends. A
// size of 0 needs no buffer: none is allocated.
#pragma once

#include <cstdint>

#include "siglib/memory/alignment.h"
#include "siglib/memory/memory.h"

namespace qvls::transforms {

class WorkArea {
 public:
  WorkArea(std::uint8_t* caller, std::int32_t bytes)
      : owned_(caller == nullptr && bytes > 0 ? qvlsAlloc_u8_px(bytes) : nullptr),
        data_(caller == nullptr ? owned_ : caller + DistanceToBoundary(caller, 16)),
        missing_(bytes > 0 && data_ == nullptr) {}
  ~WorkArea() { qvlsFree_px(owned_); }
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;

  // True when the call needed its own block and could not allocate it.
  bool missing() const { return missing_; }
  // The buffer from its 16-byte boundary; null when there is none.
  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* owned_;
  std::uint8_t* data_;
  bool missing_;
};

}  // namespace qvls::transforms
