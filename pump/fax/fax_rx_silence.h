// The receiver's state when the fax configuration names no modulation and
// asks to receive: only the line level is reported.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The attenuation in dB of a block whose samples' mean square is
// `mean_square`, from a piecewise-linear logarithm: 0 dB is a full-scale
// sine (mean square 2^29), in steps of half a dB.
int FaxAttenuationDb(std::uint32_t mean_square);

// Status bit 0x10 set while the DC-removed block is less than 44 dB below
// full scale, cleared otherwise; the controller is not interrupted.
StateTable<DspContext> FaxRxSilenceTable();

inline constexpr int kFaxSignalPresentDb = 44;

}  // namespace pump
