// How a6 and w7 choose their kernels, each around its own ones: the 4D
// metrics take a kernel per state count with mask 0 and the loop otherwise;
// add-compare-select takes its 16-state kernel, the seeded kernel for 32
// states and the loop for 64.
#pragma once

#include <cstdint>

#include "siglib/trellis/acs_seeded.h"
#include "siglib/trellis/trellis_entries.h"
#include "siglib/trellis/trellis_rules.h"

namespace qvls::trellis {
namespace {

using Metrics4DKernel = void(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d);
using Acs16Kernel = void(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
                         std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
                         trellis_survivor* survivors, std::int32_t offset);

template <std::int32_t kColumn, Metrics4DKernel Kernel16, Metrics4DKernel Kernel32,
          Metrics4DKernel Kernel64>
qvls_status Metrics4DByStates(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d,
                              std::int32_t states, std::int32_t mask) {
  if (const qvls_status status = Check4D(metrics2d, metrics4d, states, mask); status != QVLS_OK) {
    return status;
  }
  if (mask != 0) {
    Metrics4DLoop<kColumn>(metrics2d, metrics4d, states, mask);
  } else if (states == 16) {
    Kernel16(metrics2d, metrics4d);
  } else if (states == 32) {
    Kernel32(metrics2d, metrics4d);
  } else {
    Kernel64(metrics2d, metrics4d);
  }
  return QVLS_OK;
}

template <std::int32_t kColumn, Acs16Kernel Kernel16>
qvls_status AcsByStates(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
                        std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
                        trellis_survivor* survivors, std::int32_t states, std::int32_t offset) {
  if (const auto answer =
          AcsEarlyAnswer(old_metrics, next_state, new_metrics, metrics4d, survivors, states)) {
    return *answer;
  }
  if (states == 16) {
    Kernel16(old_metrics, next_state, new_metrics, metrics4d, survivors, offset);
  } else if (states == 32) {
    AcsSeeded32<kColumn>(old_metrics, next_state, new_metrics, metrics4d, survivors, offset);
  } else {
    AcsLoop<kColumn>(old_metrics, next_state, new_metrics, metrics4d, survivors, states, offset, 0);
  }
  return QVLS_OK;
}

}  // namespace
}  // namespace qvls::trellis

// The 4D and add-compare-select entries of a variant that has kernels by state count.
#define QVLS_DEFINE_TRELLIS_BY_STATES_ENTRIES(tag, column, kernel16, kernel32, kernel64, acs16)  \
  qvls_status qvlsTrellisMetrics4D_u16_##tag(const trellis_metric2d* metrics2d,                  \
                                             trellis_metric4d* metrics4d, std::int32_t states,   \
                                             std::int32_t mask) {                                \
    return qvls::trellis::Metrics4DByStates<column, kernel16, kernel32, kernel64>(               \
        metrics2d, metrics4d, states, mask);                                                     \
  }                                                                                              \
  qvls_status qvlsTrellisACS_u16_##tag(                                                          \
      const std::uint16_t* oldMetrics, const std::uint8_t* nextState, std::uint16_t* newMetrics, \
      const trellis_metric4d* metrics, trellis_survivor* survivors, std::int32_t states,         \
      std::int32_t offset) {                                                                     \
    return qvls::trellis::AcsByStates<column, acs16>(oldMetrics, nextState, newMetrics, metrics, \
                                                     survivors, states, offset);                 \
  }
