// Our FSK modems against spandsp's fsk_tx/fsk_rx with 8N1 characters
// (async_tx/async_rx), both directions, on every channel.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <vector>

#include "pump/fsk/fsk_start.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/fsk.h>

namespace pump {
namespace {

using fsk_testing::RandomBytes;
using fsk_testing::Receive;
using fsk_testing::Sender;
using fsk_testing::Transmit;

struct Channel {
  const char* name;
  int spec;         // spandsp's preset
  Sender ours;      // our transmitter on that channel
  int hear_type;    // our receiver of that channel
  int hear_direction;
  int lead_ms;      // marks before the first character
  std::size_t bytes;
};

const Channel kChannels[] = {
    {"V21CH1", FSK_V21CH1, {kFskV21Data, 1}, kFskV21Data, 0, 600, 40},
    {"V21CH2", FSK_V21CH2, {kFskV21Data, 0}, kFskV21Data, 1, 600, 40},
    {"V23CH1", FSK_V23CH1, {kFskV23SendForward, 1}, kFskV23SendBackward, 1, 600, 120},
    {"V23CH2", FSK_V23CH2, {kFskV23SendBackward, 1, -10, 200}, kFskV23SendForward, 1, 2000, 12},
    {"BELL103CH1", FSK_BELL103CH1, {kFskBell103Answer, 0}, kFskBell103Originate, 1, 600, 40},
    {"BELL103CH2", FSK_BELL103CH2, {kFskBell103Originate, 1}, kFskBell103Answer, 0, 600, 40},
};

// Characters with runs of zeros and ones in them.
std::vector<std::uint8_t> Message(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes = RandomBytes(n, seed);
  bytes[1] = 0x00;
  bytes[2] = 0x00;
  bytes[4] = 0xFF;
  return bytes;
}

struct SpandspSender {
  std::vector<std::uint8_t> bytes;
  std::size_t next = 0;
  int lead_bits;
  async_tx_state_t* async;
  int tail_bits = 0;
  static int GetByte(void* user) {
    auto* self = static_cast<SpandspSender*>(user);
    return self->next < self->bytes.size() ? self->bytes[self->next++] : -1;
  }
  static int GetBit(void* user) {
    auto* self = static_cast<SpandspSender*>(user);
    if (self->lead_bits > 0) {
      --self->lead_bits;
      return 1;
    }
    // After the last character's ten bits the line idles on marks (spandsp's
    // asynchronous transmitter would frame 0xFF characters).
    if (self->next == self->bytes.size() && ++self->tail_bits > 9) return 1;
    return async_tx_get_bit(self->async);
  }
};

TEST(FskInterop, SpandspTransmitterToOurReceiver) {
  for (const Channel& c : kChannels) {
    SCOPED_TRACE(c.name);
    const fsk_spec_t& spec = preset_fsk_specs[c.spec];
    SpandspSender sender{Message(c.bytes, 3), 0, c.lead_ms * spec.baud_rate / 100'000, nullptr};
    sender.async = async_tx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 1, SpandspSender::GetByte,
                                 &sender);
    fsk_tx_state_t* tx = fsk_tx_init(nullptr, &spec, SpandspSender::GetBit, &sender);
    testing::SpandspSource source([&](std::span<std::int16_t> out) {
      return fsk_tx(tx, out.data(), static_cast<int>(out.size()));
    });
    const double seconds =
        c.lead_ms / 1000.0 + 10.0 * static_cast<double>(c.bytes) * 100 / spec.baud_rate + 0.5;
    const std::vector<std::int16_t> line = source.Take(static_cast<std::size_t>(seconds * 9600));
    const auto heard = Receive(c.hear_type, c.hear_direction, line);
    EXPECT_EQ(heard.bytes, sender.bytes);
    fsk_tx_free(tx);
    async_tx_free(sender.async);
  }
}

struct SpandspReceiver {
  std::vector<std::uint8_t> bytes;
  async_rx_state_t* async;
  static void PutByte(void* user, int byte) {
    if (byte >= 0) static_cast<SpandspReceiver*>(user)->bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  static void PutBit(void* user, int bit) {
    auto* self = static_cast<SpandspReceiver*>(user);
    if (bit == 0 || bit == 1) async_rx_put_bit(self->async, bit);
  }
};

TEST(FskInterop, OurTransmitterToSpandspReceiver) {
  for (const Channel& c : kChannels) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> bytes = Message(c.bytes, 5);
    const std::vector<std::int16_t> line = Transmit(c.ours, bytes);
    SpandspReceiver receiver{{}, nullptr};
    receiver.async = async_rx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 1,
                                   SpandspReceiver::PutByte, &receiver);
    fsk_rx_state_t* rx = fsk_rx_init(nullptr, &preset_fsk_specs[c.spec], FSK_FRAME_MODE_SYNC,
                                     SpandspReceiver::PutBit, &receiver);
    testing::SpandspSink sink([&](std::span<const std::int16_t> samples) {
      std::vector<std::int16_t> copy(samples.begin(), samples.end());
      fsk_rx(rx, copy.data(), static_cast<int>(copy.size()));
    });
    sink.Put(line);
    EXPECT_EQ(receiver.bytes, bytes);
    fsk_rx_free(rx);
    async_rx_free(receiver.async);
  }
}

}  // namespace
}  // namespace pump
