#include <gtest/gtest.h>

#include <vector>

#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/context/tests/hook_relay.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::LineRequests;
using testing::PumpOptions;
using testing::SetHookRelay;

constexpr const char* kCurrentCheckOn = "\"Profile\"=binary:00 00 00 00 01 00 00 00\n";
constexpr UCHAR kNoReading = 31;      // the front end then reads 141, above 121
constexpr UCHAR kNormalReading = 10;  // 33

// Reset, then the controller takes the line: the first tick leaves the line
// interface off (the page starts on hook, as the front end starts with its
// line off), the next starts it, the one after measures the line as it is.
void TakeLine(PumpHarness& harness) {
  harness.Controller().Post(0x60, {0});
  harness.Afe().ClearLog();
  harness.RunBlocks(1);
  EXPECT_TRUE(LineRequests(harness.Afe()).empty());
  SetHookRelay(harness, false);
  harness.RunBlocks(1);
  EXPECT_EQ(LineRequests(harness.Afe()), std::vector<ULONG>{afe::kAfeLineOn});
  harness.RunBlocks(1);
  EXPECT_EQ(harness.Context().line_monitor.high_count, 0);
}

TEST(LineMonitor, TheHookRelayBitStopsAndStartsTheLineInterface) {
  PumpHarness harness;
  harness.Run([&] {
    TakeLine(harness);
    harness.RunBlocks(5);
    EXPECT_TRUE(LineRequests(harness.Afe()).empty());
    SetHookRelay(harness, true);
    harness.RunBlocks(1);
    EXPECT_EQ(LineRequests(harness.Afe()), std::vector<ULONG>{afe::kAfeLineOff});
    harness.RunBlocks(5);
    EXPECT_TRUE(LineRequests(harness.Afe()).empty()) << "stopped once, then left alone";
    SetHookRelay(harness, false);
    harness.RunBlocks(1);
    EXPECT_EQ(LineRequests(harness.Afe()), std::vector<ULONG>{afe::kAfeLineOn});
  });
}

TEST(LineMonitor, ThirtyHighMeasurementsWithTheCurrentCheckStopTheLineForAThousandTicks) {
  PumpHarness harness({.service_values = kCurrentCheckOn});
  harness.Run([&] {
    TakeLine(harness);
    DspContext& context = harness.Context();
    const std::uint8_t* page = harness.Host().comram.reg;
    SetDpStatus(harness.Host(), kStatusConnected, false);
    SetDpStatus(harness.Host(), kStatusCarrier, true);
    context.mode_block = [](DspContext&) {};  // a mode runs; the stop must idle it
    const int interrupts = harness.Controller().Interrupts();
    context.dialling = 1;  // a digit was being dialled
    context.dial.tone_running = 1;
    context.dial_call_state = 5;

    harness.Afe().SetLineVoltageReading(kNoReading);
    harness.RunBlocks(29);
    EXPECT_TRUE(LineRequests(harness.Afe()).empty());
    EXPECT_EQ(context.line_monitor.high_count, 29);
    harness.RunBlocks(1);
    EXPECT_EQ(LineRequests(harness.Afe()), std::vector<ULONG>{afe::kAfeLineOff});
    EXPECT_EQ(page[kRegEventType], 10);
    EXPECT_EQ(page[kRegStatus] & (kStatusCodeMask | kStatusCarrier), 0);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts + 1);
    EXPECT_EQ(context.mode_block, &DefaultBlock);
    EXPECT_EQ(context.tx.table.data(), kTxIdleTable.data());
    EXPECT_EQ(context.dial_call_state, 0) << "no mode ran: call progress stops";
    EXPECT_EQ(context.dialling, 0u) << "the dial sequence ends with the line";
    EXPECT_EQ(context.dial.tone_running, 0u);

    harness.Afe().SetLineVoltageReading(kNormalReading);
    context.voice_active = 1;
    harness.RunBlocks(999);
    EXPECT_TRUE(LineRequests(harness.Afe()).empty()) << "held off although the relay is off hook";
    harness.RunBlocks(1);
    EXPECT_EQ(LineRequests(harness.Afe()), std::vector<ULONG>{afe::kAfeLineOn});
    EXPECT_EQ(context.mode_block, &VoiceBlock) << "voice comes back with the line";
  });
}

TEST(LineMonitor, WithoutTheCurrentCheckHighMeasurementsAreOnlyCounted) {
  PumpHarness harness;
  harness.Run([&] {
    TakeLine(harness);
    const int interrupts = harness.Controller().Interrupts();
    harness.Afe().SetLineVoltageReading(kNoReading);
    harness.RunBlocks(100);
    EXPECT_TRUE(LineRequests(harness.Afe()).empty());
    EXPECT_EQ(harness.Context().line_monitor.high_count, 30) << "counted up to the limit";
    EXPECT_EQ(harness.Host().comram.reg[kRegEventType], 0);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts);
  });
}

}  // namespace
}  // namespace pump
