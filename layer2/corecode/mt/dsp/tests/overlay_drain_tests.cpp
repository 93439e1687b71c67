// The overlay drain: what each kind of ring record does to the capture, the
// store and the data pump under the settings that decide whether a capture
// is kept; a capture at the buffer's size; the drain after a send, the
// capture switch and the reset; the profile example captured and sent back.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/overlay_drain.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

DspOverlayRing& Ring() { return MachineState<DspTransportState>().overlay; }

// An image-bytes record as the packet dispatch writes it: 0, n, the bytes.
Bytes ImageBytes(const Bytes& bytes) {
  Bytes record = {0, static_cast<std::uint8_t>(bytes.size())};
  record.insert(record.end(), bytes.begin(), bytes.end());
  return record;
}

const Bytes kStart = {0x11, 0};
const Bytes kComplete = {0x31, 0};

// One memory record of id 0 at 0x1000 with one word, and the end byte.
const Bytes kImage = {0x01, 0x00, 0x00, 0x10, 0x01, 0x00, 0xAA, 0xBB, 0x30};

Bytes Captured(std::size_t n) {
  const auto& bytes = line_profile_capture().bytes;
  return Bytes(bytes.begin(), bytes.begin() + n);
}

Bytes Stored(std::size_t n) {
  const auto& bytes = line_profile_store().bytes;
  return Bytes(bytes.begin(), bytes.begin() + n);
}

struct Settings {
  std::uint8_t connection_state = 2;
  std::uint8_t pqc = 0;
  std::uint8_t pss = 0;
  std::uint8_t v92 = 1;
};

void Apply(const Settings& settings) {
  MachineState<ModemTaskState>().connection_state = settings.connection_state;
  CommandInterpreterStandin& acu = MachineState<CommandInterpreterStandin>();
  acu.pqc_setting = settings.pqc;
  acu.pss_setting = settings.pss;
  acu_settings().v92_enabled = settings.v92;
}

std::size_t DrainAll() {
  std::size_t drained = 0;
  while (dsp_overlay_drain()) ++drained;
  return drained;
}

TEST(OverlayDrain, EachRecordClassActsOnTheCaptureTheStoreOrTheDataPump) {
  struct Row {
    const char* what;
    std::vector<Bytes> ring;
    Settings settings;
    Bytes captured;  // the capture's first bytes; empty: untouched (zeros)
    Bytes stored;    // the store's first bytes; empty: still empty (0xFF)
    std::vector<FakePacket> packets;
    std::uint32_t lost;
  };
  const auto Packet = [](std::uint8_t code, Bytes payload) {
    return FakePacket{code, static_cast<std::uint8_t>(payload.size()), payload};
  };
  const Bytes image = kImage;
  const Bytes piece1(image.begin(), image.begin() + 5);
  const Bytes piece2(image.begin() + 5, image.end() - 1);
  const Bytes table = image;  // what the pieces make once terminated
  const std::vector<Row> rows = {
      {"a capture kept",
       {kStart, ImageBytes(piece1), ImageBytes(piece2), kComplete},
       {},
       table,
       table,
       {},
       0},
      {"no capture start: capture off", {ImageBytes(piece1), kComplete}, {}, {}, {}, {}, 0},
      {"retraining",
       {kStart, ImageBytes(piece1), kComplete},
       {.connection_state = 3},
       {},
       {},
       {},
       0},
      {"+PQC 3 keeps nothing",
       {kStart, ImageBytes(piece1), kComplete},
       {.pqc = 3},
       Bytes(piece1.begin(), piece1.end()),
       {},
       {},
       0},
      {"+PSS 2 keeps nothing",
       {kStart, ImageBytes(piece1), kComplete},
       {.pss = 2},
       Bytes(piece1.begin(), piece1.end()),
       {},
       {},
       0},
      {"V.92 off keeps nothing",
       {kStart, ImageBytes(piece1), kComplete},
       {.v92 = 0},
       Bytes(piece1.begin(), piece1.end()),
       {},
       {},
       0},
      {"captured, then downloaded",
       {kStart, ImageBytes(piece1), ImageBytes(piece2), kComplete, {0x21, 0}},
       {},
       table,
       table,
       {Packet(12, {0x00, 0x10, 0, 0, 0xAA, 0xBB}), Packet(0xA3, {0, 0x20})},
       0},
      {"a download to an address and page",
       {kStart, ImageBytes(table), kComplete, {0x43, 0, 0x00, 0x20}},
       {},
       table,
       table,
       {Packet(12, {0x00, 0x20, 0x20, 0, 0xAA, 0xBB}), Packet(0xA3, {0, 0x40})},
       0},
      {"an overlay from the empty table", {{0x50, 7}}, {}, {}, {}, {Packet(0xA3, {7, 0x50})}, 0},
      {"a code overlay from the empty table",
       {{0x61, 7}},
       {},
       {},
       {},
       {Packet(0xA3, {7, 0x60})},
       0},
      {"an unknown class loses the ring",
       {{0x70, 1}, kStart, ImageBytes(piece1)},
       {},
       {},
       {},
       {},
       1},
      {"class 0xF0 too", {kStart, {0xF3, 1}, ImageBytes(piece1)}, {}, {0x30}, {}, {}, 1},
      {"a record cut short", {kStart, {0x40, 5}}, {}, {0x30}, {}, {}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      Apply(row.settings);
      for (const Bytes& record : row.ring) ASSERT_TRUE(Ring().Append(record));
      DrainAll();
      EXPECT_EQ(Ring().Used(), 0u);
      EXPECT_EQ(line_profile_capture().lost_records, row.lost);
      if (row.captured.empty()) {
        EXPECT_EQ(Captured(kLineProfileBytes), Bytes(kLineProfileBytes, 0));
      } else {
        // Always a terminated table.
        Bytes terminated = row.captured;
        if (terminated.back() != 0x30) terminated.push_back(0x30);
        EXPECT_EQ(Captured(terminated.size()), terminated);
      }
      if (row.stored.empty()) {
        EXPECT_EQ(Stored(kLineProfileBytes), Bytes(kLineProfileBytes, 0xFF));
      } else {
        EXPECT_EQ(Stored(row.stored.size()), row.stored);
      }
      std::vector<FakePacket> sent;
      for (const FakePacket& p : pump.Commands()) {
        sent.push_back({p.code, p.length, Bytes(p.payload.begin(), p.payload.begin() + p.length)});
      }
      EXPECT_EQ(sent, row.packets);
    });
  }
}

TEST(OverlayDrain, ACaptureStopsAtTheBufferAndALongerOneIsNotKept) {
  struct Row {
    std::size_t image_bytes;
    bool kept;
  };
  const Row rows[] = {
      {kLineProfileBytes - 1, true}, {kLineProfileBytes, false}, {kLineProfileBytes + 500, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.image_bytes);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump&) {
      ASSERT_TRUE(Ring().Append(kStart));
      for (std::size_t sent = 0; sent < row.image_bytes; sent += 16) {
        ASSERT_TRUE(Ring().Append(
            ImageBytes(Bytes(std::min<std::size_t>(16, row.image_bytes - sent), 0x01))));
        DrainAll();
      }
      ASSERT_TRUE(Ring().Append(kComplete));
      DrainAll();
      const Bytes captured = Captured(kLineProfileBytes);
      EXPECT_EQ(captured.back(), 0x30);
      EXPECT_EQ(std::count(captured.begin(), captured.end(), 0x01),
                static_cast<std::ptrdiff_t>(kLineProfileBytes - 1));
      EXPECT_EQ(ModemTask_ProfileStored(), row.kept);
    });
  }
}

TEST(OverlayDrain, SendsDrainTheSwitchAndTheResetStopTheCapture) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    // A successful send drains what waits; a failed one leaves it.
    ASSERT_TRUE(Ring().Append(kStart));
    ASSERT_TRUE(Ring().Append(ImageBytes({1, 2})));
    EXPECT_EQ(dsp_send_packet(DspCommand::Ack(0x65, {0, 1})), kDspSent);
    EXPECT_EQ(Ring().Used(), 0u);
    EXPECT_EQ(Captured(3), (Bytes{1, 2, 0x30}));
    pump.Script(0x65, FakeAnswer::None());
    ASSERT_TRUE(Ring().Append(ImageBytes({3})));
    EXPECT_NE(dsp_send_packet(DspCommand::Ack(0x65, {0, 1})), kDspSent);
    EXPECT_EQ(Ring().Used(), 3u);

    // Switched off, the capture keeps what it had until the next start.
    dsp_overlay_capture_off();
    DrainAll();
    ASSERT_TRUE(Ring().Append(kComplete));
    DrainAll();
    EXPECT_EQ(Captured(3), (Bytes{1, 2, 0x30}));
    EXPECT_FALSE(ModemTask_ProfileStored());

    // A reset empties the ring and stops the capture.
    ASSERT_TRUE(Ring().Append(kStart));
    DrainAll();
    ASSERT_TRUE(Ring().Append(ImageBytes({4, 5})));
    dsp_overlay_reset();
    EXPECT_EQ(Ring().Used(), 0u);
    ASSERT_TRUE(Ring().Append(ImageBytes({6})));
    DrainAll();
    EXPECT_EQ(Captured(1), (Bytes{0x30}));
  });
}

// The profile example: an image of 1,820 words for memory key 0x8430, id 0,
// uploaded in 16-byte pieces, kept, then asked for again.
TEST(OverlayDrain, TheExampleProfileIsCapturedKeptAndSentBack) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    Bytes image = {0x01, 0x00, 0x30, 0x84, 0x1C, 0x07};
    for (std::size_t i = 0; i < 3640; ++i) image.push_back(static_cast<std::uint8_t>(1 + i % 251));
    ASSERT_TRUE(Ring().Append(Bytes{17, 0}));
    for (std::size_t at = 0; at < image.size(); at += 16) {
      const std::size_t n = std::min<std::size_t>(16, image.size() - at);
      ASSERT_TRUE(Ring().Append(ImageBytes(Bytes(image.begin() + at, image.begin() + at + n))));
      DrainAll();
    }
    ASSERT_TRUE(Ring().Append(Bytes{49, 0}));
    ASSERT_TRUE(Ring().Append(Bytes{33, 0}));
    DrainAll();
    image.push_back(0x30);
    EXPECT_EQ(Stored(image.size()), image);
    const std::vector<FakePacket>& sent = pump.Commands();
    ASSERT_EQ(sent.size(), 305u);  // 303 writes of 6 words, one of 2, the end
    EXPECT_EQ(sent.front().code, 12);
    EXPECT_EQ(Bytes(sent.front().payload.begin(), sent.front().payload.begin() + 4),
              (Bytes{0x30, 0x84, 0, 0}));
    EXPECT_EQ(sent.back().code, 0xA3);
    EXPECT_EQ(Bytes(sent.back().payload.begin(), sent.back().payload.begin() + 2),
              (Bytes{0, 0x20}));
  });
}

class OverlayDrainRegistry : public RegMachineTest {};

TEST_F(OverlayDrainRegistry, AKeptCaptureIsTheSavedLineProfile) {
  BootWith("");
  RunOn([this] {
    ASSERT_TRUE(Ring().Append(kStart));
    ASSERT_TRUE(Ring().Append(ImageBytes(kImage)));
    ASSERT_TRUE(Ring().Append(kComplete));
    DrainAll();
    const Bytes saved = RegistryValue(kernel(), kParametersKey, u"qcData").value_or(Bytes{});
    ASSERT_EQ(saved.size(), kLineProfileBytes);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + kImage.size()), kImage);
    line_profile_store().bytes.fill(0xFF);
    ModemTask_FRDSPImageInit();
    EXPECT_EQ(Stored(kImage.size()), kImage) << "a later start loads it";
  });
}

}  // namespace
}  // namespace vxctl::testing
