// Our line signal into spandsp's fax receivers at 8000 Hz, through the
// line port's resampler: they train on our bursts and decode the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fax/fax_configure.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/complex.h>
#include <spandsp/v29rx.h>
#include <spandsp/v17rx.h>
#include <spandsp/v27ter_rx.h>

namespace pump {
namespace {

enum class Receiver { kV27ter, kV29, kV17 };

// The line output of a transmit configuration sending `bytes` as raw octets.
std::vector<std::int16_t> SendBurst(std::uint16_t mode_word, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::int16_t> out;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.fax.mode_word = mode_word;
    context.fax.options = 0;
    ConfigureFax(context);
    std::size_t offered = 0;
    int idle = 0;
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    while (offered < bytes.size() || idle < 5) {
      if (offered < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(32, bytes.size() - offered);
        if (controller.FillTx(0, std::span(bytes).subspan(offered, n))) offered += n;
      } else if ((status & kStatusTxEmpty) != 0) {
        ++idle;
      }
      harness.RunBlocks(1);
    }
    out = harness.Afe().LineOutput();
  });
  return out;
}

struct Heard {
  std::vector<std::uint8_t> bits;
  bool trained = false;
};

void PutBit(void* user, int bit) {
  auto& heard = *static_cast<Heard*>(user);
  if (bit < 0) {
    if (bit == SIG_STATUS_TRAINING_SUCCEEDED) heard.trained = true;
    return;
  }
  heard.bits.push_back(static_cast<std::uint8_t>(bit));
}

Heard HearWithSpandsp(Receiver receiver, int bit_rate, std::span<const std::int16_t> line9600) {
  Heard heard;
  std::vector<std::int16_t> line;
  testing::SpandspSink sink([&](std::span<const std::int16_t> s) { line.insert(line.end(), s.begin(), s.end()); });
  sink.Put(line9600);
  switch (receiver) {
    case Receiver::kV17: {
      v17_rx_state_t* s = v17_rx_init(nullptr, bit_rate, PutBit, &heard);
      v17_rx(s, line.data(), static_cast<int>(line.size()));
      v17_rx_free(s);
      break;
    }
    case Receiver::kV29: {
      v29_rx_state_t* s = v29_rx_init(nullptr, bit_rate, PutBit, &heard);
      v29_rx(s, line.data(), static_cast<int>(line.size()));
      v29_rx_free(s);
      break;
    }
    case Receiver::kV27ter: {
      v27ter_rx_state_t* s = v27ter_rx_init(nullptr, bit_rate, PutBit, &heard);
      v27ter_rx(s, line.data(), static_cast<int>(line.size()));
      v27ter_rx_free(s);
      break;
    }
  }
  return heard;
}

// The longest run of zeros in what spandsp decoded.
std::size_t LongestZeros(const std::vector<std::uint8_t>& bits) {
  std::size_t best = 0, run = 0;
  for (auto b : bits) {
    run = b == 0 ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

// A TCF: 1.5 s of zeros comes through whole.
TEST(FaxTxInterop, SpandspReceiversTrainAndDecodeATcf) {
  struct Row {
    const char* name;
    std::uint16_t mode_word;
    Receiver receiver;
    int bit_rate;
  };
  const Row rows[] = {
      {"V.27ter 4800", 0x00, Receiver::kV27ter, 4800}, {"V.27ter 2400", 0x01, Receiver::kV27ter, 2400},
      {"V.29 9600", 0x10, Receiver::kV29, 9600},       {"V.29 7200", 0x11, Receiver::kV29, 7200},
      {"V.29 4800", 0x12, Receiver::kV29, 4800},       {"V.17 14400", 0x20, Receiver::kV17, 14400},
      {"V.17 12000", 0x21, Receiver::kV17, 12000},     {"V.17 9600", 0x22, Receiver::kV17, 9600},
      {"V.17 7200", 0x23, Receiver::kV17, 7200},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> tcf(static_cast<std::size_t>(row.bit_rate * 3 / 2 / 8), 0);
    const auto line = SendBurst(row.mode_word, tcf);
    const Heard heard = HearWithSpandsp(row.receiver, row.bit_rate, line);
    EXPECT_TRUE(heard.trained);
    EXPECT_GE(LongestZeros(heard.bits), tcf.size() * 8);
  }
}

}  // namespace
}  // namespace pump
