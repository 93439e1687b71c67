// spandsp (with libtiff, which its fax API needs first) for the peers and
// the tests that use them, and owners for its states.
#pragma once

// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

#include <memory>

namespace plat::line::peers {

// A spandsp state made by its *_init(NULL, ...), freed by its *_free.
template <typename T, int (*Free)(T*)>
struct SpandspFree {
  void operator()(T* state) const {
    if (state != nullptr) Free(state);
  }
};
template <typename T, int (*Free)(T*)>
using SpandspPtr = std::unique_ptr<T, SpandspFree<T, Free>>;

}  // namespace plat::line::peers
