// Caller ID and the FSK starts against bad input: unknown start types,
// 0x93 modes and caller-ID types change nothing; noise, endless marks and
// a seizure that stops short give no bytes; the next good message arrives.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pump/fsk/caller_id.h"
#include "pump/fsk/fsk_start.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/adsi.h>

namespace pump {
namespace {

using testing::PumpHarness;

bool SameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

TEST(CallerIdHostile, UnknownStartsModesAndTypesChangeNothing) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    StartFsk(context, kFskV21Data);
    const FskWork fsk = context.fsk;
    const CallerIdReceiver caller_id = context.caller_id;
    const auto tx = context.tx;
    const auto rx = context.rx;
    for (const int type : {-1, 1, 10, 14, 18, 255, 1 << 20}) {
      StartFsk(context, type);
      EXPECT_TRUE(SameBytes(&fsk, &context.fsk, sizeof fsk)) << "start type " << type;
      EXPECT_EQ(context.tx.table.data(), tx.table.data());
      EXPECT_EQ(context.rx.table.data(), rx.table.data());
    }
    for (const std::uint8_t type : {4, 7, 200}) {
      controller.Exchange(0x93, {1, 0, type});
      EXPECT_TRUE(SameBytes(&fsk, &context.fsk, sizeof fsk)) << "caller-ID type " << int{type};
      EXPECT_TRUE(SameBytes(&caller_id, &context.caller_id, sizeof caller_id));
    }
    controller.Exchange(0x93, {0, 0, 0});
    for (const std::uint8_t mode : {2, 4, 9, 255}) {
      const std::int32_t state = context.dial_call_state;
      controller.Exchange(0x93, {mode, 0, 0});
      EXPECT_TRUE(SameBytes(&fsk, &context.fsk, sizeof fsk)) << "mode " << int{mode};
      EXPECT_EQ(context.dial_call_state, state);
      EXPECT_EQ(context.caller_id_hook, 0u);
    }
  });
}

// Ninety-nine alternations and a repeated bit find no seizure; the count
// starts again, and a hundred then find it.
TEST(CallerIdHostile, ASeizureThatStopsShortIsNotFound) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x65, {0, 0x01});
    controller.Exchange(0x93, {1, 0, 0});
    DspContext& context = harness.Context();
    int bit = 1;
    for (int k = 0; k < 99; ++k) {
      EXPECT_TRUE(CallerIdBit(context, bit));
      bit ^= 1;
    }
    CallerIdBit(context, bit ^ 1);  // the same bit again
    EXPECT_EQ(context.caller_id.seizure_found, 0u);
    for (int k = 0; k < 100; ++k) {
      CallerIdBit(context, bit);
      bit ^= 1;
    }
    EXPECT_EQ(context.caller_id.seizure_found, 1u);
  });
}

std::vector<std::int16_t> ClassMessage(std::vector<std::uint8_t>& sent) {
  adsi_tx_state_t* tx = adsi_tx_init(nullptr, ADSI_STANDARD_CLASS);
  std::uint8_t msg[64];
  int len = adsi_add_field(tx, msg, -1, CLASS_MDMF_CALLERID, nullptr, 0);
  len = adsi_add_field(tx, msg, len, 0x02, reinterpret_cast<const std::uint8_t*>("5550000"), 7);
  adsi_tx_put_message(tx, msg, len);
  sent.assign(msg, msg + len);
  sent[1] = static_cast<std::uint8_t>(len - 2);
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    return adsi_tx(tx, out.data(), static_cast<int>(out.size()));
  });
  std::vector<std::int16_t> line = source.Take(9600 * 2);
  adsi_tx_free(tx);
  return line;
}

// Noise bursts, then a carrier of endless marks, then a good message: only
// the message's bytes arrive.
TEST(CallerIdHostile, NoiseAndEndlessMarksGiveNothingAndTheNextMessageArrives) {
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0, 3000);
  std::vector<std::int16_t> line;
  for (int burst = 0; burst < 4; ++burst) {
    for (int n = 0; n < 2400; ++n) line.push_back(static_cast<std::int16_t>(noise(random)));
    line.insert(line.end(), 2400, 0);
  }
  // 3 s of marks at 1300 Hz.
  for (int n = 0; n < 28800; ++n) {
    line.push_back(static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265358979 * 1300 * n / 9600)));
  }
  line.insert(line.end(), 4800, 0);
  std::vector<std::uint8_t> sent;
  const std::vector<std::int16_t> message = ClassMessage(sent);
  line.insert(line.end(), message.begin(), message.end());

  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x65, {0, 0x01});
    controller.Exchange(0x93, {1, 0, 0});
    harness.Afe().FeedLine(line);
    harness.RunBlocks(static_cast<int>(line.size() / 96));
    std::vector<std::uint8_t> bytes;
    for (const auto& b : controller.RxBlocks()) bytes.insert(bytes.end(), b.data.begin(), b.data.end());
    ASSERT_GE(bytes.size(), sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), bytes.begin()));
  });
}

}  // namespace
}  // namespace pump
