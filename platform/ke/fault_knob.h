// A fault-injection knob: fail every call, or only the n-th call from now.
#pragma once

#include <cstdint>

namespace plat::ke {

class FaultKnob {
 public:
  void FailEvery() {
    every_ = true;
    nth_ = 0;
  }
  void FailNth(std::uint64_t n) {  // 1 = the next call
    every_ = false;
    nth_ = n;
    calls_ = 0;
  }
  void Clear() {
    every_ = false;
    nth_ = 0;
  }
  // Counts one call; true when this call must fail.
  bool ShouldFail() {
    ++calls_;
    if (every_) return true;
    if (nth_ != 0 && calls_ == nth_) {
      nth_ = 0;
      return true;
    }
    return false;
  }

 private:
  bool every_ = false;
  std::uint64_t nth_ = 0;
  std::uint64_t calls_ = 0;
};

}  // namespace plat::ke
