// Caller-ID receive: FSK bits from FskRx (start type 13, the V.23 forward
// channel) and DTMF digits from call progress, synchronised by one of three
// methods and handed to the framer, which delivers them through the
// receive mailbox.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

enum CallerIdType : std::int32_t {
  kCallerIdSeizureMark = 0,  // FSK after a channel seizure and a mark signal
  kCallerIdHeader = 1,       // FSK with the DLE SOH BEL DLE STX header
  kCallerIdDtmf = 2,
  kCallerIdFskOrDtmf = 3,    // whichever starts first
};

// The seizure count that finds a channel seizure, and the mark run after it.
inline constexpr int kSeizureBits = 100;
inline constexpr int kMarkBits = 80;
// The DTMF path ends after this many blocks without a digit.
inline constexpr int kDtmfIdleBlocks = 100;
// The header method freezes the gain below this level (dB).
inline constexpr int kHeaderWeakDb = -35;
// The byte that tells the controller a type-3 message came by DTMF; by FSK
// it is 0x00.
inline constexpr std::uint8_t kDtmfMarker = 0xFF;

// Starts the receivers of the type and clears the receiver's fields. An
// unknown type changes nothing (a debug line says so).
void StartCallerId(DspContext& context, int type);

// FskRx's hook: true when caller ID took the decided bit.
bool CallerIdBit(DspContext& context, int bit);

// The caller-ID receiver lost its carrier: on hook, the end of the message
// disarms caller ID and releases the hook relay.
void CallerIdCarrierLost(DspContext& context);

// True while caller ID is armed with a type that receives DTMF or FSK.
bool CallerIdDtmfArmed(const DspContext& context);
bool CallerIdFskArmed(const DspContext& context);

// One block of DTMF caller ID (call-progress state 0).
void CallerIdDtmfBlock(DspContext& context);

// Call-progress state 6: the frozen gain is released once the signal has
// been strong for two blocks, and FskRx runs.
void CallerIdStateBlock(DspContext& context);

}  // namespace pump
