#include "pump/v32/encoder.h"

namespace pump::v32 {

unsigned EncodeSymbol(Encoder& e, std::uint32_t bits, DataRate rate) {
  if (!ModeOf(rate).trellis) {
    const unsigned state = EncodePair(e, bits);
    return state | (bits & 0xC);
  }
  const unsigned pair = (bits + e.differential) & 3;
  e.differential = static_cast<std::uint8_t>(pair);
  const unsigned index = ((bits & 0x3C) | pair) << 1 | (e.convolutional & 1u);
  e.convolutional = kConvolutionalNext[e.convolutional][pair];
  return index;
}

}  // namespace pump::v32
