// The line services' start-up and restart on the kernel, and the country
// requests beside them, observed through the stand-ins' log.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

LineServicesState& State() { return MachineState<LineServicesState>(); }
LineServicesContext& Context() { return State().context; }
LineServicesStandin& Standin() { return MachineState<LineServicesStandin>(); }

struct Message {
  std::string_view handler;
  std::uint8_t msg_class;
  std::uint8_t code;
  bool operator==(const Message&) const = default;
};

void RecordDaaRequest(KernelMessage* m, void* context) {
  Standin().Record({.name = "DAA_handler",
                    .msg_class = m->msg_class,
                    .code = m->code,
                    .payload = m->payload,
                    .context = context});
}

// The messages the stand-in handlers got, each checked for the context.
std::vector<Message> Handled() {
  std::vector<Message> messages;
  for (const LineServiceEvent& e : Standin().log) {
    if (e.msg_class == 0) continue;  // an entry call
    EXPECT_EQ(e.context, &Context()) << e.name;
    messages.push_back({e.name, e.msg_class, e.code});
  }
  return messages;
}

// The entry calls the stand-ins got.
std::vector<std::string_view> EntryCalls() {
  std::vector<std::string_view> names;
  for (const LineServiceEvent& e : Standin().log) {
    if (e.msg_class == 0) names.push_back(e.name);
  }
  return names;
}

std::optional<std::uint32_t> RemainingTimerTicks(std::uint8_t id) {
  TimerRequest request;
  request.kernel = &State().kernel;
  request.id = id;
  if (MK_timer_remaining(&request) != kMkOk) return std::nullopt;
  return request.ms;
}

TEST(LsInit, RegistersTheHandlersInOrder) {
  RunOnController([] {
    LS_init();
    struct Registered {
      std::uint8_t msg_class;
      MsgHandler handler;
      bool operator==(const Registered&) const = default;
    };
    const std::vector<Registered> registration_order = {
        {9, LS_line_poll_handler}, {1, LS_class1_handler}, {6, TONE_handler}, {3, DAA_handler},
        {4, CPT_handler},          {7, BLK_handler},       {5, RING_handler}, {8, CTY_handler},
    };
    std::vector<Registered> newest_first;
    for (const ClassHandler* h = State().kernel.handlers.head; h != nullptr; h = h->next) {
      EXPECT_EQ(h->context, &Context());
      newest_first.push_back({h->msg_class, h->handler});
    }
    EXPECT_EQ(newest_first,
              std::vector<Registered>(registration_order.rbegin(), registration_order.rend()));
  });
}

void FillBlackList(BlackListArea& area) {
  for (std::size_t n = 0; n < kBlackListSlots; ++n) {
    area.slots[n].number = static_cast<std::uint8_t>(n + 1);
  }
  area.in_progress = &area.slots[4];
}

TEST(LsInit, OnlyAUserResetKeepsTheBlackList) {
  struct Case {
    std::uint8_t reset_request;
    bool kept;
  };
  const std::vector<Case> cases = {{0x00, false}, {0x04, true},  {0xFB, false},
                                   {0x0C, true},  {0x08, false}, {0xFF, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "reset request 0x" << std::hex << int{c.reset_request});
    RunOnController([&] {
      LS_init();
      FillBlackList(Context().black_list);
      Context().connect_timer = 3;
      Context().line_state = 3;
      Standin().log.clear();
      acu_reset_request() = c.reset_request;
      LS_init();
      LS_poll();
      const BlackListArea& area = Context().black_list;
      if (c.kept) {
        EXPECT_EQ(area.slots[11].number, 12);
        EXPECT_EQ(area.in_progress, &area.slots[4]);
        EXPECT_EQ(Handled(), std::vector<Message>{});
      } else {
        EXPECT_EQ(area.slots[11].number, 0);
        EXPECT_EQ(area.in_progress, nullptr);
        EXPECT_EQ(Handled(), (std::vector<Message>{{"BLK_handler", 7, 1}}));
      }
      EXPECT_EQ(Context().connect_timer, 0) << "the rest of the context starts from zero";
      EXPECT_EQ(Context().line_state, 1);
      EXPECT_EQ(Context().kernel, &State().kernel);
      EXPECT_EQ(Context().record, &State().live_record);
    });
  }
}

TEST(LsInit, AKeptBlackListResumesItsDelay) {
  struct Case {
    std::uint8_t reset_request;
    std::uint8_t delay_pending;
    bool in_progress;
    std::uint8_t delay_timer_running;
    std::vector<std::string_view> calls;
  };
  const std::vector<Case> cases = {
      {0x04, 1, true, 0, {"BLK_refile_entry", "RING_clear_measurements"}},
      {0x04, 1, false, 0, {"RING_clear_measurements"}},
      {0x04, 0, true, 0, {"RING_clear_measurements"}},
      {0x04, 0, false, 1, {"BLK_start_delay_timer", "RING_clear_measurements"}},
      {0x04, 1, true, 1, {"BLK_refile_entry", "BLK_start_delay_timer", "RING_clear_measurements"}},
      {0x00, 1, true, 1, {"RING_clear_measurements"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "reset 0x" << std::hex << int{c.reset_request}
                                      << " pending " << int{c.delay_pending} << " entry "
                                      << c.in_progress << " timer " << int{c.delay_timer_running});
    RunOnController([&] {
      LS_init();
      BlackListArea& area = Context().black_list;
      FillBlackList(area);
      if (!c.in_progress) area.in_progress = nullptr;
      area.delay_pending = c.delay_pending;
      area.delay_timer_running = c.delay_timer_running;
      Standin().log.clear();
      acu_reset_request() = c.reset_request;
      LS_init();
      EXPECT_EQ(EntryCalls(), c.calls);
      for (const LineServiceEvent& e : Standin().log) {
        EXPECT_EQ(e.context, &Context()) << e.name;
        if (e.name == "BLK_refile_entry") {
          EXPECT_EQ(e.entry, &area.slots[4]);
        }
      }
    });
  }
}

// Expected table from the keypad: its rows and columns of tones, and each
// tone's phase step per sample at 9600 Hz (65536 a turn), high byte first.
std::vector<std::uint8_t> KeypadTable() {
  const char* const keypad[4] = {"123A", "456B", "789C", "*0#D"};
  const unsigned low_hz[4] = {697, 770, 852, 941};
  const unsigned high_hz[4] = {1209, 1336, 1477, 1633};
  auto push_step = [](std::vector<std::uint8_t>& bytes, unsigned hz) {
    const unsigned step = hz * 65536u / 9600u;
    bytes.push_back(static_cast<std::uint8_t>(step >> 8));
    bytes.push_back(static_cast<std::uint8_t>(step & 0xFF));
  };
  std::vector<std::uint8_t> bytes = {17, 0};
  for (const char key : std::string_view("0123456789*#ABCD")) {
    for (int row = 0; row < 4; ++row) {
      for (int column = 0; column < 4; ++column) {
        if (keypad[row][column] != key) continue;
        bytes.push_back(static_cast<std::uint8_t>(key));
        push_step(bytes, low_hz[row]);
        push_step(bytes, high_hz[column]);
      }
    }
  }
  bytes.resize(bytes.size() + 5, 0);  // the closing row
  return bytes;
}

TEST(LsInit, DtmfFreqTableByteForByte) {
  const std::vector<std::uint8_t> expected = KeypadTable();
  ASSERT_EQ(expected.size(), sizeof(DtmfFreqTable));
  // Two steps as published with the tones, against the formula above.
  EXPECT_EQ(expected[3], 0x19);  // "0": 941 Hz is 0x1917
  EXPECT_EQ(expected[4], 0x17);
  EXPECT_EQ(expected[2 + 12 * 5 + 3], 0x2B);  // "A": 1633 Hz is 0x2B8B
  EXPECT_EQ(expected[2 + 12 * 5 + 4], 0x8B);
  RunOnController([&] {
    Context().dtmf_frequency_table.count = {0x5A, 0x5A};
    Context().dtmf_frequency_table.rows[16].column = {0x5A, 0x5A};
    LS_init();
    std::vector<std::uint8_t> actual(sizeof(DtmfFreqTable));
    std::memcpy(actual.data(), &Context().dtmf_frequency_table, actual.size());
    EXPECT_EQ(actual, expected);
  });
}

void Fire(TimerArg tag) { MachineState<std::vector<TimerArg>>().push_back(tag); }

TEST(LsInit, StartsAFreshKernel) {
  RunOnController([] {
    LS_init();
    LS_poll();
    std::uint8_t id = 0;
    TimerRequest request;
    request.kernel = &State().kernel;
    request.owner = &id;
    request.ms = 10;
    request.SetCallback(Fire, 1);
    ASSERT_EQ(MK_timer_start(&request), kMkOk);
    MK_clock_advance(&State().kernel, 7);
    ASSERT_EQ(MK_msg_send(&State().kernel, false, kMsgTone, 4), kMkOk);
    CTY_upload_state() = 3;
    Standin().log.clear();

    LS_init();
    EXPECT_EQ(CTY_upload_state().load(), 0);
    EXPECT_EQ(State().kernel.clock.load(), 0u);
    EXPECT_FALSE(RemainingTimerTicks(id).has_value()) << "running timers vanish";
    MK_clock_advance(&State().kernel, 100);
    LS_poll();
    EXPECT_TRUE(MachineState<std::vector<TimerArg>>().empty());
    EXPECT_EQ(Handled(), (std::vector<Message>{{"BLK_handler", 7, 1}}))
        << "the message pending before the start-up is gone";
    EXPECT_EQ(EntryCalls(),
              (std::vector<std::string_view>{"RING_clear_measurements", "RING_update"}));
  });
}

TEST(LsRestart, PostsTheResetsInOrder) {
  RunOnController([] {
    LS_init();
    LS_poll();
    Standin().log.clear();
    // The relay service's requests recorded with the others.
    ASSERT_EQ(MK_register(&State().kernel, kMsgDaa, RecordDaaRequest, &Context()), kMkOk);
    LS_restart();  // six posts: the sixth drains the first five
    LS_poll();
    EXPECT_EQ(Handled(), (std::vector<Message>{{"TONE_handler", 6, 1},
                                               {"DAA_handler", 3, 9},
                                               {"DAA_handler", 3, 1},
                                               {"CPT_handler", 4, 1},
                                               {"RING_handler", 5, 1},
                                               {"CTY_handler", 8, 1}}));
  });
}

TEST(LsRestart, LineStateFromTheLiveRecord) {
  struct Case {
    const char* name;
    bool record;
    std::uint8_t byte7;
    std::uint8_t before;
    std::uint8_t after;
  };
  const std::vector<Case> cases = {
      {"no record: unchanged", false, 1, 2, 2},  {"byte 7 zero: 1", true, 0, 2, 1},
      {"byte 7 set: 2", true, 1, 1, 2},          {"any non-zero byte 7: 2", true, 0x80, 0, 2},
      {"3 stays 3 (byte 7 set)", true, 1, 3, 3}, {"3 stays 3 (byte 7 zero)", true, 0, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      LS_init();
      State().live_record.bytes[kCountryDaaSelector] = c.byte7;
      if (!c.record) Context().record = nullptr;
      Context().line_state = c.before;
      LS_restart();
      EXPECT_EQ(Context().line_state, c.after);
    });
  }
}

TEST(LsRestart, StopsTheFourTimersAndClearsTheirIds) {
  RunOnController([] {
    LS_init();
    LineServicesContext& context = Context();
    std::uint8_t other = 0;
    std::uint8_t* owners[] = {&context.connect_timer, &context.pause_timer, &context.wait_timer,
                              &context.quiet_timer, &other};
    std::vector<std::uint8_t> ids;
    TimerArg tag = 0;
    for (std::uint8_t* owner : owners) {
      if (owner == &context.pause_timer) continue;  // one of the four is not running
      TimerRequest request;
      request.kernel = &State().kernel;
      request.owner = owner;
      request.ms = 100 + 10 * static_cast<std::uint32_t>(tag);
      request.SetCallback(Fire, ++tag);
      ASSERT_EQ(MK_timer_start(&request), kMkOk);
      ids.push_back(*owner);
    }
    LS_restart();
    for (std::uint8_t* owner : owners) {
      if (owner != &other) {
        EXPECT_EQ(*owner, 0);
      }
    }
    for (std::size_t n = 0; n + 1 < ids.size(); ++n) EXPECT_FALSE(RemainingTimerTicks(ids[n]).has_value());
    EXPECT_EQ(RemainingTimerTicks(other), 130u);
    MK_clock_advance(&State().kernel, 1000);
    LS_poll();
    EXPECT_EQ(MachineState<std::vector<TimerArg>>(), std::vector<TimerArg>{4});
  });
}

TEST(CtyRequests, DumpCarriesItsTableNumber) {
  RunOnController([] {
    LS_init();
    LS_poll();
    Standin().log.clear();
    const std::vector<std::uint8_t> tables = {1, 4, 10, 0, 255};
    for (std::uint8_t table : tables) {
      CTY_request_dump(table);
      LS_poll();
    }
    CTY_start_upload();
    LS_poll();
    std::vector<std::uint8_t> carried;
    for (const LineServiceEvent& e : Standin().log) {
      if (e.name != "CTY_handler") continue;
      EXPECT_EQ(e.msg_class, 8);
      if (e.code == 5) carried.push_back(e.payload[0]);
    }
    EXPECT_EQ(carried, tables);
    EXPECT_EQ(Handled().back(), (Message{"CTY_handler", 8, 2}));
  });
}

TEST(CtyRequests, DefaultRecordFillsTheLiveRecord) {
  RunOnController([] {
    State().live_record.bytes.fill(0xA5);
    CTY_load_default_record();
    EXPECT_EQ(State().live_record.version(), kCountryRecordVersion);
    EXPECT_EQ(State().live_record.bytes, CTY_default_record().bytes);
  });
}

TEST(CtyRequests, NothingIsPostedBeforeTheStartUp) {
  RunOnController([] {
    CTY_request_dump(3);
    CTY_start_upload();
    LS_restart();
    LS_poll();
    EXPECT_EQ(Handled(), std::vector<Message>{});
  });
}

}  // namespace
}  // namespace vxctl::testing
