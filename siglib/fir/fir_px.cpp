// The FIR filters, px variant: the generic layouts and algorithm, and the
// entries that every column shares (the sizes of the generic layouts,
// destroy, the delay-line reads).
#include "siglib/fir/fir_column_entries.h"
#include "siglib/fir/fir_generic.h"

using qvls::fir::Layout;

qvls_status qvlsFIRStateSize_i16_px(std::int32_t len, std::int32_t* size) {
  return qvls::fir::StateSize<Layout::kGenericReal>(len, size);
}

qvls_status qvlsFIRStateSize_ci16_px(std::int32_t len, std::int32_t* size) {
  return qvls::fir::StateSize<Layout::kGenericComplex>(len, size);
}

qvls_status qvlsFIRDestroy_i16_px(fir_state* state) {
  return qvls::fir::Destroy(state, qvls::fir::kMarkerReal, qvls::fir::kMarkerMultiRateReal);
}

qvls_status qvlsFIRDestroy_ci16_px(fir_state* state) {
  return qvls::fir::Destroy(state, qvls::fir::kMarkerComplex, qvls::fir::kMarkerMultiRateComplex);
}

QVLS_FIR_SETUP_ENTRIES(px, Layout::kGenericReal, Layout::kGenericComplex)
QVLS_FIR_READ_ENTRIES(px)
QVLS_FIR_GENERIC_FILTER_ENTRIES(px, QVLS_FIR_MEMORY(px))
QVLS_FIR_IN_PLACE_ENTRIES(px, Layout::kGenericReal, Layout::kGenericComplex)
