// Downloads of the line profile and of code overlays: the writes each
// record gives, the end command, the register sequence of a code download,
// and the profile the real data pump holds after a download.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/line_profile_download.h"
#include "layer2/corecode/mt/dsp/line_profile_store.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "pump/core/data_keys.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// n bytes 1, 2, 3, ... (mod 251, never the end byte's 0x30 by position).
Bytes Pattern(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(1 + i % 251);
  return bytes;
}

Bytes RecordBytes(std::uint8_t attribute, std::uint8_t id, std::uint16_t address,
                  const Bytes& data) {
  const std::size_t words = data.size() / 2;
  Bytes record = {attribute,
                  id,
                  static_cast<std::uint8_t>(address),
                  static_cast<std::uint8_t>(address >> 8),
                  static_cast<std::uint8_t>(words),
                  static_cast<std::uint8_t>(words >> 8)};
  record.insert(record.end(), data.begin(), data.end());
  return record;
}

void Keep(Bytes table) {
  auto& store = line_profile_store().bytes;
  store.fill(0xFF);
  std::copy(table.begin(), table.end(), store.begin());
}

Bytes Sent(const FakePacket& packet) {
  return Bytes(packet.payload.begin(), packet.payload.begin() + packet.length);
}

Bytes JoinProfileBytes(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(ProfileDownload, RecordsGoOutInPiecesAndTheEndCommandFollows) {
  const Bytes data = Pattern(26);  // 13 words
  struct Row {
    const char* what;
    Bytes table;
    std::uint8_t kind;
    std::uint8_t id;
    std::vector<FakePacket> expected;  // code, length, payload
  };
  const auto Packet = [](std::uint8_t code, Bytes payload) {
    return FakePacket{code, static_cast<std::uint8_t>(payload.size()), payload};
  };
  const std::vector<Row> rows = {
      {"13 words to memory",
       JoinProfileBytes(RecordBytes(0x01, 5, 0x1000, data), {0x30}),
       0x20,
       5,
       {Packet(12, JoinProfileBytes({0x00, 0x10, 0, 0}, Bytes(data.begin(), data.begin() + 12))),
        Packet(12, JoinProfileBytes({0x06, 0x10, 0, 0}, Bytes(data.begin() + 12, data.begin() + 24))),
        Packet(12, JoinProfileBytes({0x0C, 0x10, 0, 0}, Bytes(data.begin() + 24, data.end()))),
        Packet(0xA3, {5, 0x20})}},
      {"memory of page 1",
       JoinProfileBytes(RecordBytes(0x03, 5, 0x0430, Bytes(data.begin(), data.begin() + 2)), {0x30}),
       0x20,
       5,
       {Packet(12, JoinProfileBytes({0x30, 0x04, 0x20, 0}, Bytes(data.begin(), data.begin() + 2))),
        Packet(0xA3, {5, 0x20})}},
      {"8 words to the parameter store",
       JoinProfileBytes(RecordBytes(0x00, 5, 0x0100, Bytes(data.begin(), data.begin() + 16)), {0x30}),
       0x20,
       5,
       {Packet(13, JoinProfileBytes({0x00, 0x01}, Bytes(data.begin(), data.begin() + 14))),
        Packet(13, JoinProfileBytes({0x07, 0x01}, Bytes(data.begin() + 14, data.begin() + 16))),
        Packet(0xA3, {5, 0x20})}},
      {"a parameter above 0x10000",
       JoinProfileBytes(RecordBytes(0x02, 5, 0x0234, {1, 2}), {0x30}),
       0x20,
       5,
       {Packet(14, {0x34, 0x02, 1, 2}), Packet(0xA3, {5, 0x20})}},
      {"another id's record is skipped",
       JoinProfileBytes(JoinProfileBytes(RecordBytes(0x01, 4, 0x2000, {9, 9}), RecordBytes(0x01, 5, 0x3000, {1, 2})),
            {0x30}),
       0x20,
       5,
       {Packet(12, {0x00, 0x30, 0, 0, 1, 2}), Packet(0xA3, {5, 0x20})}},
      {"no record of the id",
       JoinProfileBytes(RecordBytes(0x01, 5, 0x1000, {1, 2}), {0x30}),
       0x20,
       6,
       {Packet(0xA3, {6, 0x20})}},
      {"an empty store", {}, 0x20, 0, {Packet(0xA3, {0, 0x20})}},
      {"a record running past the store",
       RecordBytes(0x01, 0, 0x1000, Bytes(4002, 7)),
       0x20,
       0,
       {Packet(0xA3, {0, 0x20})}},
      {"the built-in overlays",
       JoinProfileBytes(RecordBytes(0x01, 5, 0x1000, {1, 2}), {0x30}),
       0x50,
       5,
       {Packet(0xA3, {5, 0x50})}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      Bytes table = row.table;
      table.resize(std::min(table.size(), kLineProfileBytes));
      Keep(table);
      EXPECT_TRUE(dsp_download(row.kind, row.id, 0, 0));
      ASSERT_EQ(pump.Commands().size(), row.expected.size());
      for (std::size_t i = 0; i < row.expected.size(); ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        EXPECT_EQ(pump.Commands()[i].code, row.expected[i].code);
        EXPECT_EQ(Sent(pump.Commands()[i]), row.expected[i].payload);
      }
    });
  }
}

TEST(ProfileDownload, ACodeDownloadRunsBetweenRegister252Writes10And9) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    EXPECT_TRUE(dsp_download(kDownloadCode, 3, 0, 0));
    const std::vector<FakeDoorbell>& bells = pump.Doorbells();
    ASSERT_EQ(bells.size(), 3u);  // 252 := 10, 252 := 9, the end command
    EXPECT_EQ(bells[0].page.reg[252], 10);
    EXPECT_EQ(bells[1].page.reg[252], 9);
    EXPECT_EQ(bells[1].page.reg[66], 1);
    ASSERT_EQ(pump.Commands().size(), 1u);
    EXPECT_EQ(Sent(pump.Commands()[0]), (Bytes{3, 0x60}));

    // The bytes themselves go through registers 248-250: the address, then
    // each byte, the last one left in register 250.
    dsp_code_download(Bytes{0x11, 0x22, 0x33, 0x44}, 0x1234, 4, 2);
    EXPECT_EQ(dsp_reg_read(249), 0x12);
    EXPECT_EQ(dsp_reg_read(248), 0x34);
    EXPECT_EQ(dsp_reg_read(250), 0x33) << "every second byte, two of them";
  });
}

// The profile example: a 1,820-word image for memory key 0x8430 under id 0.
Bytes ExampleProfile() {
  Bytes table = {0x01, 0x00, 0x30, 0x84, 0x1C, 0x07};
  const Bytes data = Pattern(3640);
  table.insert(table.end(), data.begin(), data.end());
  table.push_back(0x30);
  return table;
}

TEST(ProfileDownload, TheExampleProfileGoesToKey8430InTwelveByteWrites) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    Keep(ExampleProfile());
    EXPECT_TRUE(dsp_download(kDownloadLineProfile, 0, 0, 0));
    const std::vector<FakePacket>& sent = pump.Commands();
    ASSERT_EQ(sent.size(), 305u);  // 303 writes of 6 words, one of 2, the end
    Bytes data;
    for (std::size_t i = 0; i + 1 < sent.size(); ++i) {
      const Bytes payload = Sent(sent[i]);
      const std::uint16_t key = static_cast<std::uint16_t>(0x8430 + 6 * i);
      ASSERT_EQ(sent[i].code, 12);
      ASSERT_EQ(Bytes(payload.begin(), payload.begin() + 4),
                (Bytes{static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8), 0, 0}));
      data.insert(data.end(), payload.begin() + 4, payload.end());
    }
    EXPECT_EQ(data, Pattern(3640));
    EXPECT_EQ(Sent(sent.back()), (Bytes{0, 0x20}));
  });
}

TEST(ProfileDownload, TheRealDataPumpHoldsTheDownloadedProfile) {
  RunOnVxdsp([] {
    Keep(ExampleProfile());
    EXPECT_TRUE(dsp_download(kDownloadLineProfile, 0, 0, 0));
    const pump::HostInterface& host = *MachineState<DspLinkState>().host.load();
    Bytes held(3640);
    EXPECT_EQ(pump::ReadMemKey(host, 0x8430, held), held.size());
    EXPECT_EQ(held, Pattern(3640));
  });
}

}  // namespace
}  // namespace vxctl::testing
