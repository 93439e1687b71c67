// The replay of the call-progress events the data pump kept while the
// controller slept, and the caller-ID text read from its memory, on a
// scripted data pump whose memory reads are answered by key.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_replay.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

// The data pump's memory as words (the low byte is what the caller-ID
// reads take), by key; a read of a key not held is echoed, as the data
// pump echoes keys it does not know. Counts the reads.
class ScriptedMemory {
 public:
  explicit ScriptedMemory(FakeDataPump& pump) {
    pump.ScriptBy(pump::kCpMemoryRead, [this](const FakePacket& read) {
      const std::uint32_t key = read.payload[0] | read.payload[1] << 8;
      keys_read.push_back(key);
      std::vector<std::uint8_t> reply(16);
      bool held = false;
      for (std::size_t i = 0; i < reply.size(); ++i) {
        const auto byte = bytes.find(2 * key + i);
        if (byte != bytes.end()) {
          reply[i] = byte->second;
          held = true;
        }
      }
      return held ? FakeAnswer::Reply(pump::kDpMemoryReadReply, reply) : FakeAnswer::Echo();
    });
  }
  // Bytes from byte address `at` (2 x key).
  void Put(std::uint32_t at, const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size(); ++i) bytes[at + i] = data[i];
  }
  // Word i of the caller-ID area carries data[i] as its low byte.
  void PutCallerId(const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
      bytes[2 * (kCallerIdKey + i)] = data[i];
      bytes[2 * (kCallerIdKey + i) + 1] = 0xEE;  // high bytes are not text
    }
  }

  std::map<std::uint32_t, std::uint8_t> bytes;
  std::vector<std::uint32_t> keys_read;
};

// A kept DP_CALL_PROGRESS_NOTIFICATION record: kind, 0, duration, count.
std::vector<std::uint8_t> Record(std::uint8_t kind, std::uint16_t count) {
  return {pump::kDpCallProgressNotification, 0, 6, 0, kind, 0, 100, 0,
          static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)};
}

void PutRecords(ScriptedMemory& memory, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    memory.Put(2 * kReplayKey + 10 * i, Record(2, static_cast<std::uint16_t>(i)));
  }
  // The record after the last is empty.
  memory.Put(2 * kReplayKey + 10 * n, std::vector<std::uint8_t>(10, 0));
}

TEST(ReplayAndCallerId, RecordsAreReplayedWhileTheyStartWithD1UpTo100) {
  struct Row {
    std::size_t kept;
    std::size_t reads;
    std::uint32_t events;
  };
  for (const Row& row : {Row{0, 1, 0}, Row{1, 2, 1}, Row{99, 100, 99}, Row{100, 100, 100},
                         Row{101, 100, 100}}) {
    SCOPED_TRACE("records kept: " + std::to_string(row.kept));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ScriptedMemory memory(pump);
      PutRecords(memory, row.kept);
      acu_settings().s[1] = 0;
      ModemTask_ReplayCallProgress();
      ASSERT_EQ(memory.keys_read.size(), row.reads);
      for (std::size_t i = 0; i < row.reads; ++i) EXPECT_EQ(memory.keys_read[i], kReplayKey + 5 * i);
      const CommandInterpreterStandin& interpreter = MachineState<CommandInterpreterStandin>();
      EXPECT_EQ(interpreter.ring_events.load(), row.events);
      if (row.events != 0) {
        // The last record replayed reached the line services whole.
        const pump::DspPacket& last = interpreter.ring_packet;
        EXPECT_EQ(last.code, pump::kDpCallProgressNotification);
        EXPECT_EQ(last.length, 6);
        EXPECT_EQ(last.payload[0], 2);
        EXPECT_EQ(last.payload[4] | last.payload[5] << 8, row.events - 1);
        EXPECT_EQ(last.payload[6], 0) << "bytes beyond the record are not handed on";
      }
      // Each record is followed by the line services' poll.
      std::size_t polls = 0;
      for (const std::string_view name : MachineState<LineServicesStandin>().Names()) {
        polls += name == "RING_update" ? 1 : 0;
      }
      EXPECT_EQ(polls, row.events);
      EXPECT_TRUE(interpreter.caller_id_reports.empty());
    });
  }
}

TEST(ReplayAndCallerId, TheReplayStopsWhenTheRingCountIsOne) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ScriptedMemory memory(pump);
    PutRecords(memory, 5);
    acu_settings().s[1] = 1;
    ModemTask_ReplayCallProgress();
    EXPECT_EQ(MachineState<CommandInterpreterStandin>().ring_events.load(), 1u);
  });
}

// At the first ring with caller-ID reporting on, the caller ID is read,
// saved and printed in the report format.
TEST(ReplayAndCallerId, TheFirstRingReportsTheCallerId) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ScriptedMemory memory(pump);
    PutRecords(memory, 1);
    // A type 0x04 message whose length byte 8 asks for one read of 8 more.
    const std::string text = "\x04\x08" "01011200555123";
    memory.PutCallerId(std::vector<std::uint8_t>(text.begin(), text.end()));
    CommandInterpreterStandin& interpreter = MachineState<CommandInterpreterStandin>();
    interpreter.caller_id_enabled = 1;
    interpreter.caller_id_format = 2;
    MachineState<LineServicesStandin>().first_ring = 1;
    ModemTask_ReplayCallProgress();
    ASSERT_EQ(interpreter.caller_id_reports.size(), 1u);
    EXPECT_EQ(interpreter.caller_id_reports[0].format, 2);
    EXPECT_EQ(interpreter.caller_id_reports[0].bytes,
              std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(interpreter.caller_id_buffer.bytes[16], 0);
  });
}

// The caller-ID reads: the length byte of a type 0x80 or 0x04 message
// asks for more reads of 8; the buffer keeps at most 99 bytes and its 0.
TEST(ReplayAndCallerId, CallerIdReadsFollowTheLengthAndStopAt99Bytes) {
  struct Row {
    std::uint8_t type;
    std::uint8_t length;
    std::size_t reads;
    std::size_t kept;
  };
  const Row rows[] = {
      {0x80, 0, 1, 8},    {0x04, 1, 2, 16},   {0x04, 8, 2, 16},  {0x80, 9, 3, 24},
      {0x80, 96, 13, 99}, {0x80, 0xFF, 13, 99}, {0x02, 40, 1, 8},  // other types: one read
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("type " + std::to_string(row.type) + " length " + std::to_string(row.length));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ScriptedMemory memory(pump);
      std::vector<std::uint8_t> area(8 * 13);
      for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>('a' + i % 26);
      area[0] = row.type;
      area[1] = row.length;
      memory.PutCallerId(area);
      AcuCallerIdBuffer& buffer = MachineState<CommandInterpreterStandin>().caller_id_buffer;
      buffer.bytes.fill(0x55);
      ASSERT_TRUE(ModemTask_ReadCallerId());
      EXPECT_EQ(memory.keys_read.size(), row.reads);
      for (std::size_t i = 0; i < memory.keys_read.size(); ++i) {
        EXPECT_EQ(memory.keys_read[i], kCallerIdKey + 8 * i);
      }
      ASSERT_EQ(buffer.count, row.kept);
      EXPECT_TRUE(std::equal(buffer.bytes.begin(), buffer.bytes.begin() + row.kept, area.begin()));
      EXPECT_EQ(buffer.bytes[row.kept], 0);
    });
  }
}

// Keys the data pump does not hold come back as echoes: nothing is
// replayed and no caller ID is reported or saved.
TEST(ReplayAndCallerId, EchoesAreNoData) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ScriptedMemory memory(pump);  // holds nothing: every read is echoed
    CommandInterpreterStandin& interpreter = MachineState<CommandInterpreterStandin>();
    interpreter.caller_id_enabled = 1;
    MachineState<LineServicesStandin>().first_ring = 1;
    interpreter.caller_id_buffer.count = 5;
    interpreter.caller_id_buffer.bytes[0] = 'x';
    ModemTask_ReplayCallProgress();
    EXPECT_EQ(memory.keys_read, (std::vector<std::uint32_t>{kReplayKey}));
    EXPECT_EQ(interpreter.ring_events.load(), 0u);
    EXPECT_FALSE(ModemTask_ReadCallerId());
    EXPECT_EQ(interpreter.caller_id_buffer.count, 0);
    EXPECT_EQ(interpreter.caller_id_buffer.bytes[0], 0);
    EXPECT_TRUE(interpreter.caller_id_reports.empty());

    // A caller ID whose second read is echoed is no caller ID either.
    memory.PutCallerId({0x80, 20, 1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(ModemTask_ReadCallerId());
    EXPECT_EQ(interpreter.caller_id_buffer.count, 0);
    EXPECT_EQ(interpreter.caller_id_buffer.bytes[0], 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
