// A transform's work buffer of exactly the reported size at a chosen
// misalignment from a 16-byte boundary (0..15), with canaries right after
// its last byte and before its first: a transform that writes beyond its
// reported work size, or before the buffer, is caught by Intact().
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "siglib/tests/support/guarded_buffer.h"

namespace qvls_test::transforms {

class GuardedWork {
 public:
  GuardedWork(std::int32_t work_size, std::size_t misalignment)
      : buffer_(static_cast<std::size_t>(work_size), misalignment % 16) {}

  std::uint8_t* data() { return buffer_.data(); }
  std::size_t misalignment() const { return buffer_.offset(); }
  ::testing::AssertionResult Intact() const { return buffer_.Intact(); }

 private:
  GuardedBuffer<std::uint8_t> buffer_;
};

}  // namespace qvls_test::transforms
