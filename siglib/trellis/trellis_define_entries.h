// The entries that several variants define alike, each around its own copy of
// the shared code (trellis_rules.h): the 2D operation, the 4D operation
// running the loop for every mask, and add-compare-select running the loop
// for every state count.
#pragma once

#include "siglib/trellis/trellis_entries.h"
#include "siglib/trellis/trellis_rules.h"

#define QVLS_DEFINE_TRELLIS_2D_ENTRY(tag, column)                                               \
  qvls_status qvlsTrellisMetrics2D_i16_##tag(const std::int16_t* point, std::uint32_t* corner,  \
                                             trellis_metric2d* metrics,                         \
                                             const std::uint8_t* labels, std::int32_t states) { \
    if (const qvls_status status = qvls::trellis::Check2D(point, corner, metrics, labels);      \
        status != QVLS_OK) {                                                                    \
      return status;                                                                            \
    }                                                                                           \
    qvls::trellis::Metrics2D<column>(point, corner, metrics, labels, states);                   \
    return QVLS_OK;                                                                             \
  }

#define QVLS_DEFINE_TRELLIS_4D_LOOP_ENTRY(tag, column)                                         \
  qvls_status qvlsTrellisMetrics4D_u16_##tag(const trellis_metric2d* metrics2d,                \
                                             trellis_metric4d* metrics4d, std::int32_t states, \
                                             std::int32_t mask) {                              \
    if (const qvls_status status = qvls::trellis::Check4D(metrics2d, metrics4d, states, mask); \
        status != QVLS_OK) {                                                                   \
      return status;                                                                           \
    }                                                                                          \
    qvls::trellis::Metrics4DLoop<column>(metrics2d, metrics4d, states, mask);                  \
    return QVLS_OK;                                                                            \
  }
