// The in-place operations of every variant: the samples in chunks of at
// most 4096 (pairs for complex), first to last, each filtered by the same
// variant's block operation into the state's work area and copied back over
// the chunk by the variant's own copy before the next chunk is read. No
// allocation happens while filtering.
#pragma once

#include <algorithm>
#include <cstdint>

#include "siglib/fir/fir_checks.h"
#include "siglib/fir/fir_state.h"

namespace qvls::fir {

template <Layout kLayout, class Memory, auto* kBlock, class Sample>
qvls_status InPlace(Sample* srcdst, std::int32_t n, fir_state* state, std::int32_t sf) {
  fir_state h;
  if (const qvls_status status = CheckBlockState(state, kLayout, h); status != QVLS_OK) {
    return status;
  }
  if (n <= 0) return QVLS_OK;
  if (srcdst == nullptr) return QVLS_ERR_NULL_POINTER;
  Sample* work = ArrayAt<Sample>(state, h.work);
  for (std::int32_t done = 0; done < n;) {
    const std::int32_t chunk = std::min(kWorkSamples, n - done);
    if (const qvls_status status = kBlock(srcdst + done, work, chunk, state, sf);
        status != QVLS_OK) {
      return status;
    }
    Memory::Copy(work, srcdst + done, chunk);
    done += chunk;
  }
  return QVLS_OK;
}

}  // namespace qvls::fir
