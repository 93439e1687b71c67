#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ke/irql.h"
#include "pump/context/block_tick.h"
#include "pump/context/profiles.h"
#include "pump/core/data_keys.h"
#include "pump/dispatch/dispatcher.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::PumpOptions;

TEST(DspContextInit, StartsIdleWithItsEntriesAndWaitsForTheFirstReset) {
  PumpHarness harness;
  harness.Run([&] {
    const DspContext& context = harness.Context();
    EXPECT_EQ(context.host, &harness.Host());
    EXPECT_EQ(context.afe, &harness.Access());
    EXPECT_EQ(context.controller_entry, &DispatchCpPacket);
    EXPECT_EQ(context.block_entry, &BlockTick);
    EXPECT_EQ(context.mode_block, &DefaultBlock);
    EXPECT_EQ(context.tx.table.data(), kTxIdleTable.data());
    EXPECT_EQ(context.rx.table.data(), kRxIdleTable.data());
    EXPECT_EQ(context.ready, 0u);
    // The copy of the front end's record, as request 20 answered it.
    EXPECT_EQ(context.afe_info.HighCountLimit, 30);
    EXPECT_EQ(context.afe_info.LineHighThreshold, 121);
    EXPECT_EQ(context.afe_info.ControllerKind, 6u);
    // The data format of a zero payload: asynchronous framing both ways.
    EXPECT_EQ(context.framer.host, &harness.Host());
    EXPECT_EQ(context.framer.tx_mode, kFramerAsync);
    EXPECT_EQ(context.framer.rx_type, kFramerAsync);
    const PendingLog& pending = context.pending;
    EXPECT_EQ(pending[Pending::kInitPhase2Defaults].count, 1u);
    EXPECT_EQ(context.voice_active, 0u);
    EXPECT_EQ(context.voice.start_pending, 0);
    EXPECT_STREQ(context.voice.rx.table[0].name, "VoiceRxNull");
  });
}

TEST(DspContextInit, RegistersEveryKeyOnceAndIgnoresTheRepeatedOne) {
  PumpHarness harness;
  harness.Run([&] {
    const HostInterface& host = harness.Host();
    EXPECT_EQ(host.mem_key_count, 155);
    EXPECT_EQ(host.param_key_count, 102);
    // The first registration of 0x1070C is the first of ten consecutive keys.
    const DataKey* first = FindParamKey(host, 0x1070C);
    const DataKey* second = FindParamKey(host, 0x10714);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->buffer + 16, second->buffer);
    // Keys that share their buffer, and keys over the context's own fields.
    EXPECT_EQ(FindParamKey(host, 0x102)->buffer, FindParamKey(host, 0x120)->buffer);
    EXPECT_EQ(FindParamKey(host, 0xE4)->buffer, FindParamKey(host, 0xC1)->buffer);
    EXPECT_EQ(FindParamKey(host, 0xE2)->buffer,
              reinterpret_cast<const std::uint8_t*>(&harness.Context().call.published_level));
    EXPECT_EQ(FindMemKey(host, 0x1687)->buffer,
              reinterpret_cast<const std::uint8_t*>(&harness.Context().transmit_level));
    EXPECT_TRUE(harness.Machine().log().empty()) << harness.Machine().LogText();
  });
}

// ---- Profiles ---------------------------------------------------------------------

struct ProfileCase {
  const char* name;
  const char* service_values;
  std::uint32_t flags;
  std::uint32_t options;
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.name; }

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, TheProfileValueGivesBothWordsOrZeros) {
  const ProfileCase& c = GetParam();
  PumpHarness harness({.service_values = c.service_values});
  harness.Run([&] {
    EXPECT_EQ(harness.Context().profile.flags, c.flags);
    EXPECT_EQ(harness.Context().profile.options, c.options);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Values, Profiles,
    ::testing::Values(
        ProfileCase{"Present", "\"Profile\"=binary:02 00 02 00 01 00 00 00\n", 0x00020002, 1},
        ProfileCase{"Absent", "", 0, 0},
        ProfileCase{"LongerThanEightBytes",
                    "\"Profile\"=binary:02 00 02 00 01 00 00 00 09 09 09 09\n", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed + 7 * i);
  return bytes;
}

TEST(Profiles, VovProfileRoundTripsThroughTheRegistryFile) {
  const auto state = std::filesystem::path(::testing::TempDir()) /
                     ("vov-profile-" + std::to_string(::getpid()) + ".state");
  std::filesystem::remove(state);
  const auto written = Pattern(kVovProfileBytes, 3);
  {
    PumpHarness first({.state_file = state, .before_init = [](DspContext& context) {
                         std::fill(std::begin(context.voice.vov_profile),
                                   std::end(context.voice.vov_profile), std::uint8_t{0xAA});
                       }});
    first.Run([&] {
      const auto& image = first.Context().voice.vov_profile;
      // No value yet: only the last word is cleared, so it reads "no profile".
      EXPECT_TRUE(std::all_of(image, image + kVovProfileBytes - 4,
                              [](std::uint8_t b) { return b == 0xAA; }));
      EXPECT_TRUE(std::all_of(image + kVovProfileBytes - 4, image + kVovProfileBytes,
                              [](std::uint8_t b) { return b == 0; }));
      std::copy(written.begin(), written.end(), first.Context().voice.vov_profile);
    });  // the stop writes it back
  }
  PumpHarness second({.state_file = state});
  second.Run([&] {
    const auto& image = second.Context().voice.vov_profile;
    EXPECT_EQ(std::vector<std::uint8_t>(image, image + kVovProfileBytes), written);
  });
  std::filesystem::remove(state);
}

TEST(Profiles, NothingIsReadOrWrittenAbovePassiveLevel) {
  PumpHarness harness({.service_values = "\"VOVProfile\"=binary:01 02 03 04 05 06\n"});
  harness.Run([&] {
    std::vector<std::uint8_t> buffer(8, 0xEE);
    ULONG size = 8;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    const bool read = ReadProfileValue(kVovProfileValue, buffer.data(), size);
    const std::vector<std::uint8_t> other(8, 0x55);
    const bool wrote = WriteProfileValue(kVovProfileValue, other.data(), 8);
    KeLowerIrql(old);
    EXPECT_FALSE(read);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
    EXPECT_FALSE(wrote);

    size = 8;
    ASSERT_TRUE(ReadProfileValue(kVovProfileValue, buffer.data(), size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}))
        << "the value is as seeded, and only its own bytes were copied";
  });
}

}  // namespace
}  // namespace pump
