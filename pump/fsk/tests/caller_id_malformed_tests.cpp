// Malformed caller-ID messages on hook (the exchange's FSK signal around
// bytes a test chooses): a wrong checksum, a length byte past the data and a
// signal cut off mid-message reach the controller as received (checking
// them is the controller's business), end caller ID like any message, and
// the message after them, once the controller arms caller ID again,
// arrives whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/line/exchange/caller_id.h"
#include "pump/core/comram.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/fsk/tests/fsk_rig.h"

namespace pump {
namespace {

namespace ex = plat::line::exchange;

constexpr double kLevelDbm0 = -13;

struct Heard {
  std::vector<std::uint8_t> bytes;
  std::uint32_t armed;
};

// Caller ID armed on hook (FSK, type 0) hears each signal in turn, armed
// again before each.
std::vector<Heard> HearEach(const std::vector<std::vector<std::int16_t>>& signals) {
  std::vector<Heard> heard;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x65, {0, 0x01});
    std::size_t taken = 0;
    for (const auto& signal : signals) {
      controller.Exchange(0x93, {1, 0, 0});
      // 100 ms more for the resampler's delay to bring out the signal's end.
      const std::vector<std::int16_t> line =
          fsk_testing::At9600(signal, signal.size() * 6 / 5 + 960);
      harness.Afe().FeedLine(line);
      harness.RunBlocks(static_cast<int>(line.size() / 96) + 50);
      Heard h;
      const auto& blocks = controller.RxBlocks();
      for (; taken < blocks.size(); ++taken) {
        h.bytes.insert(h.bytes.end(), blocks[taken].data.begin(), blocks[taken].data.end());
      }
      h.armed = harness.Context().caller_id_hook;
      heard.push_back(h);
    }
  });
  return heard;
}

std::vector<std::uint8_t> Prefix(const std::vector<std::uint8_t>& bytes, std::size_t n) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size()))};
}

TEST(CallerIdHostile, MalformedMessagesArriveAsReceivedAndTheNextOneWhole) {
  const ex::CallerIdInfo info{"12111750", "5551234", "A CALLER"};
  const std::vector<std::uint8_t> good = ex::MdmfMessage(info);
  std::vector<std::uint8_t> bad_checksum = good;
  bad_checksum.back() = static_cast<std::uint8_t>(bad_checksum.back() + 1);
  std::vector<std::uint8_t> long_length = good;
  long_length[1] = 0xF0;  // far more than the bytes that follow
  const std::vector<std::int16_t> whole = ex::OnHookFsk(ex::kBell202, good, kLevelDbm0);
  // Cut 40 % into the message's bytes: 300 seizure bits and 180 marks come
  // first, 10 bits a byte at 1200 bit/s (20/3 samples a bit).
  const std::size_t preamble = (300 + 180) * 20 / 3;
  const std::size_t cut_bytes = good.size() * 2 / 5;
  const std::vector<std::int16_t> cut(
      whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(preamble + cut_bytes * 200 / 3));

  struct Case {
    const char* name;
    std::vector<std::int16_t> signal;
    std::vector<std::uint8_t> expected;  // what arrives first
  };
  const Case cases[] = {
      {"bad checksum", ex::OnHookFsk(ex::kBell202, bad_checksum, kLevelDbm0), bad_checksum},
      {"length past the data", ex::OnHookFsk(ex::kBell202, long_length, kLevelDbm0), long_length},
      {"cut off mid-message", cut, Prefix(good, cut_bytes - 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Heard> heard = HearEach({c.signal, whole});
    ASSERT_EQ(heard.size(), 2u);
    ASSERT_GE(heard[0].bytes.size(), c.expected.size());
    EXPECT_EQ(Prefix(heard[0].bytes, c.expected.size()), c.expected);
    EXPECT_EQ(heard[0].armed, 0u) << "the signal's end ends caller ID";
    ASSERT_GE(heard[1].bytes.size(), good.size());
    EXPECT_EQ(Prefix(heard[1].bytes, good.size()), good);
  }
}

}  // namespace
}  // namespace pump
