// Values on a page that the process may read but not write: an operation
// that promises to write nothing can be handed it, and a write would stop
// the test with a fault.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <span>

namespace qvls_test {

template <class T>
class ReadOnlyPage {
 public:
  // The values at `offset` bytes into the page.
  ReadOnlyPage(std::span<const T> values, std::size_t offset)
      : size_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
        page_(mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)),
        data_(static_cast<unsigned char*>(page_) + offset) {
    EXPECT_NE(page_, MAP_FAILED);
    EXPECT_LE(offset + values.size_bytes(), size_);
    std::memcpy(data_, values.data(), values.size_bytes());
    EXPECT_EQ(mprotect(page_, size_, PROT_READ), 0);
  }
  ~ReadOnlyPage() { munmap(page_, size_); }
  ReadOnlyPage(const ReadOnlyPage&) = delete;
  ReadOnlyPage& operator=(const ReadOnlyPage&) = delete;

  // Writable in type only: the operation under test takes its vector so.
  T* data() { return reinterpret_cast<T*>(data_); }

 private:
  std::size_t size_;
  void* page_;
  unsigned char* data_;
};

}  // namespace qvls_test
