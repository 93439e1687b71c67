// The FSK receiver: a mixer to baseband at the channel's centre, the
// channel's low-pass filters, automatic gain, a delay-line discriminator,
// bit timing on its zero crossings, the carrier detector, and the bits to
// the caller-ID hook or the framer.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Demodulates the context's input block (the block the front end gave this
// tick); handshake and call-progress states call it directly.
void FskRx(DspContext& context);
// The receive table {FskRx}.
StateTable<DspContext> FskRxTable();
// {RxIdle}: no receiver.
StateTable<DspContext> RxIdleTable();
// The fax detect table {RxIdle 2, FaxDetect1650, FaxFskRx}; kFaxFskRxEntry
// is FaxFskRx's position.
StateTable<DspContext> FaxDetectTable();
inline constexpr std::int32_t kFaxFskRxEntry = 2;

// Histories, indexes, discriminator and carrier cleared; gain to its start.
void ResetFskRx(DspContext& context);

// Freezes the receiver's gain at mantissa x 2^exponent / 32768.
void FreezeFskGain(DspContext& context, std::int16_t mantissa, std::int16_t exponent);

// The level scale's carrier thresholds (dB).
inline constexpr int kFskCarrierOnDb = -45;   // below: no carrier starts
inline constexpr int kFskCarrierOffDb = -47;  // at or below: a carrier ends
inline constexpr int kFskMarkRun = 96;        // qualifying bits before a data carrier
inline constexpr int kFskDropoutAllowance = 100;

}  // namespace pump
