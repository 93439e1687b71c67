// A vector of trivially copyable elements placed at any byte offset modulo 64
// (odd ones included, so an element may straddle its natural alignment),
// with canary bytes on both sides. After every call of an operation the test
// asks Intact(); the destructor asks again and fails the test when a canary
// changed.
//
// data() may be misaligned for T: hand it to the operation under test, and
// read or write elements only through Get, Set, Load and Store (memcpy), so
// the sanitizer's alignment check keeps its meaning.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <vector>

namespace qvls_test {

template <class T>
class GuardedBuffer {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  static constexpr std::size_t kGuardBytes = 64;
  static constexpr std::size_t kAlignment = 64;
  static constexpr std::uint8_t kFill = 0xCD;  // initial contents of the elements

  // count elements starting `offset` bytes (0 to 63) past a 64-byte boundary.
  GuardedBuffer(std::size_t count, std::size_t offset)
      : count_(count),
        offset_(offset % kAlignment),
        total_(kGuardBytes + kAlignment + count * sizeof(T) + kGuardBytes),
        storage_(
            static_cast<std::uint8_t*>(::operator new (total_, std::align_val_t{kAlignment}))) {
    for (std::size_t i = 0; i < total_; ++i) storage_.get()[i] = CanaryByte(i);
    std::memset(bytes(), kFill, count_ * sizeof(T));
  }
  GuardedBuffer(std::span<const T> contents, std::size_t offset)
      : GuardedBuffer(contents.size(), offset) {
    Store(contents);
  }
  ~GuardedBuffer() { EXPECT_TRUE(Intact()) << "when the buffer was released"; }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  T* data() { return reinterpret_cast<T*>(bytes()); }
  const T* data() const { return reinterpret_cast<const T*>(bytes()); }
  std::size_t size() const { return count_; }
  std::size_t offset() const { return offset_; }

  T Get(std::size_t i) const {
    T value;
    std::memcpy(&value, bytes() + i * sizeof(T), sizeof(T));
    return value;
  }
  void Set(std::size_t i, const T& value) {
    std::memcpy(bytes() + i * sizeof(T), &value, sizeof(T));
  }

  std::vector<T> Load() const {
    std::vector<T> values(count_);
    if (count_ != 0) std::memcpy(values.data(), bytes(), count_ * sizeof(T));
    return values;
  }
  void Store(std::span<const T> values) {
    EXPECT_LE(values.size(), count_) << "more values than the buffer holds";
    const std::size_t n = std::min(values.size(), count_);
    if (n != 0) std::memcpy(bytes(), values.data(), n * sizeof(T));
  }

  // Whether every canary byte before and after the elements is as written,
  // with the first changed byte named otherwise.
  ::testing::AssertionResult Intact() const {
    const std::size_t begin = Begin();
    const std::size_t end = begin + count_ * sizeof(T);
    for (std::size_t i = 0; i < total_; ++i) {
      if (i >= begin && i < end) continue;
      if (storage_.get()[i] != CanaryByte(i)) {
        const bool before = i < begin;
        return ::testing::AssertionFailure()
               << "canary byte " << (before ? begin - i : i - end + 1) << " "
               << (before ? "before" : "after") << " the " << count_ << "-element buffer at offset "
               << offset_ << " was overwritten";
      }
    }
    return ::testing::AssertionSuccess();
  }

 private:
  struct AlignedDelete {
    void operator()(std::uint8_t* p) const { ::operator delete (p, std::align_val_t{kAlignment}); }
  };

  // A pattern that no plain fill or copy reproduces by accident.
  static constexpr std::uint8_t CanaryByte(std::size_t i) {
    return static_cast<std::uint8_t>(0xA5 ^ (i * 0x3B) ^ (i >> 8));
  }
  std::size_t Begin() const { return kGuardBytes + offset_; }
  std::uint8_t* bytes() { return storage_.get() + Begin(); }
  const std::uint8_t* bytes() const { return storage_.get() + Begin(); }

  std::size_t count_;
  std::size_t offset_;
  std::size_t total_;
  std::unique_ptr<std::uint8_t, AlignedDelete> storage_;
};

}  // namespace qvls_test
