// The hardware query: the names and class each kind gives, the DAA kind,
// the line-service messages and DAA-step writes around it, and what a
// missing reply, a full message pool or a step past the country record do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "platform/ke/kernel.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The version block of a front end of `kind`: four version words, then the
// kind in bytes 8-9.
FakeAnswer VersionBlock(std::uint16_t kind) {
  return FakeAnswer::Reply(0xCB, {2, 0, 36, 0, 49, 0, 0, 0, static_cast<std::uint8_t>(kind),
                                  static_cast<std::uint8_t>(kind >> 8)});
}

std::string Name(const std::array<char, HardwareKindState::kNameBytes>& name) {
  return std::string(name.data());
}

// The line services started, their start-up's own message dispatched and
// their log emptied.
void RecordDaaRequest(KernelMessage* m, void* context) {
  MachineState<LineServicesStandin>().Record({.name = "DAA_handler",
                                              .msg_class = m->msg_class,
                                              .code = m->code,
                                              .payload = m->payload,
                                              .context = context});
}

LineServicesState& StartLineServices() {
  LS_init();
  LineServicesState& services = MachineState<LineServicesState>();
  MK_dispatch(&services.kernel);
  MachineState<LineServicesStandin>().log.clear();
  // The relay service's requests recorded as they arrive.
  MK_register(&services.kernel, kMsgDaa, RecordDaaRequest, &services.context);
  return services;
}

std::vector<std::pair<std::uint8_t, std::uint8_t>> Pending(const MsgKernel& kernel) {
  std::vector<std::pair<std::uint8_t, std::uint8_t>> pending;
  for (const KernelMessage* m = kernel.pending.head; m != nullptr; m = m->next) {
    pending.emplace_back(m->msg_class, m->code);
  }
  return pending;
}

std::vector<Bytes> MemoryWrites(const FakeDataPump& pump) {
  std::vector<Bytes> writes;
  for (const FakePacket& packet : pump.Commands()) {
    if (packet.code == 12) {
      writes.emplace_back(packet.payload.begin(), packet.payload.begin() + packet.length);
    }
  }
  return writes;
}

bool LogHas(const std::string& text) {
  const auto& log = plat::ke::CurrentKernel().log();
  return std::any_of(log.begin(), log.end(), [&](const plat::ke::LogLine& line) {
    return line.text.find(text) != std::string::npos;
  });
}

TEST(HardwareKind, TheKindGivesTheNamesTheClassAndTheDaaKind) {
  struct Row {
    std::uint16_t kind;
    std::uint8_t daa_selector;  // the country record's byte 7
    const char* model;
    const char* bus;
    LineInterfaceClass line_class;
    std::uint8_t daa_kind;
  };
  const Row rows[] = {
      {3, 0, "K48QA ", "AC`97", 2, 3}, {4, 1, "K48 ", "PCI", 2, 3},
      {5, 0, "K48QA ", "AC`97", 2, 3}, {6, 0, "K48QC ", "PCI", 2, 3},
      {7, 0, "K48QD ", "PCI", 1, 1},   {7, 1, "K48QD ", "PCI", 1, 2},
      {8, 0, "K48QB ", "AC`97", 2, 3}, {9, 0, "K48QE ", "ZEVORA", 2, 3},
      {0, 0, " ", " ", 0, 1},          {10, 1, " ", " ", 0, 2},
      {0xFFFF, 0, " ", " ", 0, 1},     {0x0106, 0, " ", " ", 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("kind " + std::to_string(row.kind) + ", byte 7 " +
                 std::to_string(row.daa_selector));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      LineServicesState& services = StartLineServices();
      services.live_record.bytes[7] = row.daa_selector;
      pump.Script(kCmdHardwareQuery, VersionBlock(row.kind));
      ModemTask_HardwareQuery();
      const HardwareKindState& state = hardware_kind_state();
      EXPECT_EQ(Name(state.model_name), row.model);
      EXPECT_EQ(Name(state.bus_name), row.bus);
      EXPECT_EQ(state.line_interface_class, row.line_class);
      EXPECT_EQ(DAA_kind().load(), row.daa_kind);
    });
  }
}

TEST(HardwareKind, TheDaaIsReinitialisedAtOnceThenGivenItsStepThenSentOnHookLater) {
  struct Row {
    const char* what;
    std::uint16_t kind;
    std::vector<Bytes> writes;  // memory writes after the query
  };
  const std::vector<Row> rows = {
      {"class 2", 6, {{0x2F, 0x18, 0, 0, 0x34, 0x12}, {0x2A, 0x18, 0, 0, 0x78, 0x56}}},
      {"class 1", 7, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      LineServicesState& services = StartLineServices();
      DAA_step_index() = 1;
      std::copy_n(Bytes{0x34, 0x12, 0x78, 0x56}.begin(), 4,
                  services.live_record.bytes.begin() + 779 + 57);
      pump.Script(kCmdHardwareQuery, VersionBlock(row.kind));
      ModemTask_HardwareQuery();

      ASSERT_FALSE(pump.Commands().empty());
      EXPECT_EQ(pump.Commands()[0].code, kCmdHardwareQuery);
      EXPECT_EQ(MemoryWrites(pump), row.writes);
      // Code 9 reached the DAA service inside the query; code 1 waits.
      const auto& log = MachineState<LineServicesStandin>().log;
      ASSERT_EQ(log.size(), 1u);
      EXPECT_EQ(log[0].name, "DAA_handler");
      EXPECT_EQ(log[0].code, 9);
      EXPECT_EQ(Pending(services.kernel),
                (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{kMsgDaa, 1}}));
    });
  }
}

TEST(HardwareKind, WithoutAFreeMessageTheDaaIsLeftAlone) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    LineServicesState& services = StartLineServices();
    KernelMessage* taken = nullptr;
    while (MK_msg_get(&services.kernel, &taken) == kMkOk) {
    }
    pump.Script(kCmdHardwareQuery, VersionBlock(6));
    ModemTask_HardwareQuery();
    EXPECT_EQ(Name(hardware_kind_state().model_name), "K48QC ");
    EXPECT_TRUE(MemoryWrites(pump).empty());
    EXPECT_TRUE(MachineState<LineServicesStandin>().log.empty());
    EXPECT_TRUE(Pending(services.kernel).empty());
  });
}

TEST(HardwareKind, WithoutLineServicesOnlyTheNamesAndTheClassChange) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    DAA_kind() = 0x55;
    pump.Script(kCmdHardwareQuery, VersionBlock(6));
    ModemTask_HardwareQuery();
    EXPECT_EQ(Name(hardware_kind_state().bus_name), "PCI");
    EXPECT_EQ(hardware_kind_state().line_interface_class, 2);
    EXPECT_EQ(DAA_kind().load(), 0x55);
    EXPECT_EQ(pump.Commands().size(), 1u) << "the query only";
    EXPECT_TRUE(MachineState<LineServicesStandin>().log.empty());
  });
}

TEST(HardwareKind, WithoutTheVersionBlockTheKindIsUnknown) {
  struct Row {
    const char* what;
    FakeAnswer answer;
  };
  const Row rows[] = {{"no answer", FakeAnswer::None()},
                      {"an echo", FakeAnswer::Echo()},
                      {"another reply", FakeAnswer::Reply(0x15, {0, 0, 0, 0, 0, 0, 0, 0, 6, 0})}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      StartLineServices();
      // The last packet taken looks like a kind-6 block; it is not the reply.
      pump.Post(0xCB, {2, 0, 36, 0, 49, 0, 0, 0, 6, 0});
      ModemTask_SetModelNames(6);
      pump.ClearTraces();
      pump.Script(kCmdHardwareQuery, row.answer);
      ModemTask_HardwareQuery();
      const HardwareKindState& state = hardware_kind_state();
      EXPECT_EQ(Name(state.model_name), " ");
      EXPECT_EQ(Name(state.bus_name), " ");
      EXPECT_EQ(state.line_interface_class, 0);
      EXPECT_TRUE(MemoryWrites(pump).empty());
      EXPECT_TRUE(LogHas("hardware kind unknown"));
    });
  }
}

TEST(HardwareKind, ADaaStepPastTheCountryRecordIsNeitherReadNorWritten) {
  struct Row {
    std::uint8_t step;
    bool written;
  };
  const Row rows[] = {{0, true}, {13, true}, {14, false}, {255, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE("step " + std::to_string(row.step));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      LineServicesState& services = StartLineServices();
      std::fill(services.live_record.bytes.begin() + 779, services.live_record.bytes.end(), 0x5A);
      DAA_step_index() = row.step;
      pump.Script(kCmdHardwareQuery, VersionBlock(6));
      ModemTask_HardwareQuery();
      const std::vector<Bytes> writes = MemoryWrites(pump);
      if (row.written) {
        EXPECT_EQ(writes, (std::vector<Bytes>{{0x2F, 0x18, 0, 0, 0x5A, 0x5A},
                                              {0x2A, 0x18, 0, 0, 0x5A, 0x5A}}));
      } else {
        EXPECT_TRUE(writes.empty());
        EXPECT_TRUE(LogHas("past the country record"));
      }
      EXPECT_EQ(Pending(services.kernel).size(), 1u) << "the on-hook request still goes";
    });
  }
}

TEST(HardwareKind, TheRealDataPumpIsAKind6FrontEnd) {
  RunOnVxdsp([] {
    ModemTask_HardwareQuery();
    const HardwareKindState& state = hardware_kind_state();
    EXPECT_EQ(Name(state.model_name), "K48QC ");
    EXPECT_EQ(Name(state.bus_name), "PCI");
    EXPECT_EQ(state.line_interface_class, 2);
  });
}

}  // namespace
}  // namespace vxctl::testing
