// The message kernel's pool, queue and dispatch: the urgent lane against a
// two-lane model, dispatch of exactly what was pending, handlers by class,
// the drain of a full pool, refusals, and dispatch nested in a handler.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "layer2/corecode/mt/kernel/msg_kernel.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// Messages are told apart by their first payload byte.
std::uint8_t Tag(const KernelMessage* message) { return message->payload[0]; }

struct Handled {
  std::string handler;
  std::uint8_t msg_class;
  std::uint8_t tag;
  bool operator==(const Handled&) const = default;
};

// A handler's context: its name, and the log all handlers of a test share.
struct Recorder {
  std::string name;
  std::vector<Handled>* log;
};

void Record(KernelMessage* message, void* context) {
  auto* recorder = static_cast<Recorder*>(context);
  recorder->log->push_back({recorder->name, message->msg_class, Tag(message)});
}

// A started kernel and the log its test's handlers write.
struct LoggedKernel {
  LoggedKernel() { MK_init(&kernel); }
  MsgKernel kernel;
  std::vector<Handled> log;
};

std::vector<std::uint8_t> Tags(const std::vector<Handled>& log) {
  std::vector<std::uint8_t> tags;
  for (const Handled& h : log) tags.push_back(h.tag);
  return tags;
}

std::uint32_t Send(MsgKernel& kernel, bool urgent, std::uint8_t msg_class, std::uint8_t tag) {
  const std::uint8_t payload[] = {tag};
  return MK_msg_send(&kernel, urgent, msg_class, 1, payload);
}

// How many messages can be taken without a dispatch.
int FreeMessages(const MsgKernel& kernel) {
  int n = 0;
  for (const KernelMessage* m = kernel.free_messages.head; m != nullptr; m = m->next) ++n;
  return n;
}

// The queue as its rules describe it: urgent messages first in the order
// they came, then the others in the order they came.
class TwoLaneQueue {
 public:
  void Post(bool urgent, std::uint8_t tag) { (urgent ? urgent_ : normal_).push_back(tag); }
  std::uint8_t Take() {
    std::deque<std::uint8_t>& lane = urgent_.empty() ? normal_ : urgent_;
    const std::uint8_t tag = lane.front();
    lane.pop_front();
    return tag;
  }
  bool empty() const { return urgent_.empty() && normal_.empty(); }

 private:
  std::deque<std::uint8_t> urgent_, normal_;
};

// A test's own messages: taken from the pool once, posted and taken back
// by the steps, so that a sequence is not bounded by the pool's five.
struct QueueDriver {
  explicit QueueDriver(MsgKernel& k) : kernel(k) {
    KernelMessage* m = nullptr;
    while (MK_msg_get(&kernel, &m) == kMkOk) spare.push_back(m);
  }
  void Post(bool urgent, std::uint8_t tag) {
    ASSERT_FALSE(spare.empty());
    KernelMessage* m = spare.back();
    spare.pop_back();
    m->urgent = urgent ? 1 : 0;
    m->msg_class = kMsgLineEvents;
    m->payload[0] = tag;
    MK_msg_post(&kernel, m);
  }
  std::uint8_t Take() {
    KernelMessage* m = MK_msg_dequeue(&kernel);
    if (m == nullptr) return 0;
    spare.push_back(m);
    return Tag(m);
  }
  MsgKernel& kernel;
  std::vector<KernelMessage*> spare;
};

TEST(MsgKernelQueue, UrgentLaneOrder) {
  // A step: 'U'/'N' posts an urgent or normal message with the next tag
  // (1, 2, ...); 'T' takes the head. The expected tags are those the takes
  // see, then the order of the final dispatch.
  struct Case {
    const char* name;
    const char* steps;
    std::vector<std::uint8_t> expected;
  };
  const std::vector<Case> cases = {
      {"an urgent message overtakes a normal one", "NU", {2, 1}},
      {"urgent ones keep their order, all ahead of normal ones", "NUUNU", {2, 3, 5, 1, 4}},
      {"the first message urgent: later urgent ones go behind it", "UNU", {1, 3, 2}},
      {"the mark on a lone normal message stands for no urgent one", "NNU", {3, 1, 2}},
      {"the marked urgent taken: the mark moves to a normal head", "UNTU", {1, 3, 2}},
      {"the head taken while the mark is on a later urgent one", "UUNTU", {1, 2, 4, 3}},
      {"the queue emptied, then an urgent one after normal ones", "UTNNU", {1, 4, 2, 3}},
      {"normal ones only", "NNNN", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      LoggedKernel logged;
      MsgKernel& kernel = logged.kernel;
      std::vector<Handled>& log = logged.log;
      Recorder recorder{"r", &log};
      ASSERT_EQ(MK_register(&kernel, kMsgLineEvents, Record, &recorder), kMkOk);
      std::vector<std::uint8_t> seen;
      {
        QueueDriver driver(kernel);
        std::uint8_t next = 1;
        for (const char* s = c.steps; *s != 0; ++s) {
          if (*s == 'T') {
            seen.push_back(driver.Take());
          } else {
            driver.Post(*s == 'U', next++);
          }
        }
      }
      MK_dispatch(&kernel);
      for (std::uint8_t tag : Tags(log)) seen.push_back(tag);
      EXPECT_EQ(seen, c.expected);
    });
  }
}

TEST(MsgKernelQueue, SeededSequencesFollowTheTwoLaneModel) {
  RunOnController([] {
    for (std::uint32_t seed = 1; seed <= 50; ++seed) {
      SCOPED_TRACE(seed);
      MsgKernel kernel;
      MK_init(&kernel);
      QueueDriver driver(kernel);
      TwoLaneQueue model;
      std::mt19937 rng(seed);
      std::uint8_t next = 1;
      int queued = 0;
      for (int step = 0; step < 200; ++step) {
        const bool take = queued == static_cast<int>(kKernelMessages) ||
                          (queued > 0 && std::uniform_int_distribution<int>(0, 2)(rng) == 0);
        if (take) {
          ASSERT_EQ(driver.Take(), model.Take());
          --queued;
        } else {
          const bool urgent = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
          driver.Post(urgent, next);
          model.Post(urgent, next);
          next = static_cast<std::uint8_t>(next % 250 + 1);
          ++queued;
        }
      }
      while (!model.empty()) ASSERT_EQ(driver.Take(), model.Take());
      EXPECT_EQ(MK_msg_dequeue(&kernel), nullptr);
    }
  });
}

// A handler that posts a message of its own while it runs.
struct Reposter {
  Recorder recorder;
  MsgKernel* kernel;
  bool urgent;
};

void RecordAndRepost(KernelMessage* message, void* context) {
  auto* r = static_cast<Reposter*>(context);
  Record(message, &r->recorder);
  if (Tag(message) < 100) {
    Send(*r->kernel, r->urgent, message->msg_class, static_cast<std::uint8_t>(Tag(message) + 100));
  }
}

TEST(MsgKernelQueue, DispatchRunsOnlyWhatWasPendingAtItsStart) {
  for (const bool urgent : {false, true}) {
    SCOPED_TRACE(urgent ? "reposts urgent" : "reposts normal");
    RunOnController([&] {
      LoggedKernel logged;
      MsgKernel& kernel = logged.kernel;
      std::vector<Handled>& log = logged.log;
      Reposter reposter{{"r", &log}, &kernel, urgent};
      ASSERT_EQ(MK_register(&kernel, kMsgLineEvents, RecordAndRepost, &reposter), kMkOk);
      ASSERT_EQ(Send(kernel, false, kMsgLineEvents, 1), kMkOk);
      ASSERT_EQ(Send(kernel, false, kMsgLineEvents, 2), kMkOk);
      MK_dispatch(&kernel);
      EXPECT_EQ(Tags(log), (std::vector<std::uint8_t>{1, 2}));
      MK_dispatch(&kernel);
      EXPECT_EQ(Tags(log), (std::vector<std::uint8_t>{1, 2, 101, 102}));
      MK_dispatch(&kernel);
      EXPECT_EQ(log.size(), 4u);
      EXPECT_EQ(FreeMessages(kernel), static_cast<int>(kKernelMessages));
    });
  }
}

TEST(MsgKernelQueue, HandlersByClass) {
  RunOnController([] {
    LoggedKernel logged;
    MsgKernel& kernel = logged.kernel;
    std::vector<Handled>& log = logged.log;
    Recorder early{"early", &log}, late{"late", &log}, other{"other", &log};
    ASSERT_EQ(MK_register(&kernel, kMsgDaa, Record, &early), kMkOk);
    ASSERT_EQ(MK_register(&kernel, kMsgTone, Record, &other), kMkOk);
    ASSERT_EQ(MK_register(&kernel, kMsgDaa, Record, &late), kMkOk);
    Send(kernel, false, kMsgDaa, 1);
    Send(kernel, false, kMsgRingCadence, 2);  // nobody handles class 5
    Send(kernel, false, kMsgTone, 3);
    Send(kernel, true, kMsgTimerService, 4);  // the kernel's own, code 1 (reset)
    MK_dispatch(&kernel);
    EXPECT_EQ(log, (std::vector<Handled>{{"late", kMsgDaa, 1}, {"other", kMsgTone, 3}}));
    EXPECT_EQ(FreeMessages(kernel), static_cast<int>(kKernelMessages));
    EXPECT_TRUE(kernel.pending.empty());
  });
}

TEST(MsgKernelQueue, SixthGetDrainsTheQueueAndIsServed) {
  RunOnController([] {
    LoggedKernel logged;
    MsgKernel& kernel = logged.kernel;
    std::vector<Handled>& log = logged.log;
    Recorder recorder{"r", &log};
    ASSERT_EQ(MK_register(&kernel, kMsgLineEvents, Record, &recorder), kMkOk);
    for (std::uint8_t tag = 1; tag <= kKernelMessages; ++tag) {
      ASSERT_EQ(Send(kernel, tag % 2 == 0, kMsgLineEvents, tag), kMkOk);
    }
    EXPECT_TRUE(log.empty());
    KernelMessage* sixth = nullptr;
    ASSERT_EQ(MK_msg_get(&kernel, &sixth), kMkOk);
    ASSERT_NE(sixth, nullptr);
    EXPECT_EQ(Tags(log), (std::vector<std::uint8_t>{2, 4, 1, 3, 5}));
    EXPECT_EQ(sixth->urgent, 0);
    EXPECT_EQ(sixth->msg_class, 0);
    EXPECT_EQ(sixth->code, 0);
    EXPECT_EQ(sixth->prev, nullptr);
    EXPECT_EQ(sixth->next, nullptr);

    // Five taken and none pending: nothing to drain, so the sixth is refused.
    KernelMessage* more[kKernelMessages] = {};
    for (std::size_t n = 0; n + 1 < kKernelMessages; ++n) {
      ASSERT_EQ(MK_msg_get(&kernel, &more[n]), kMkOk);
    }
    KernelMessage* refused = sixth;
    EXPECT_EQ(MK_msg_get(&kernel, &refused), kMkRefused);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(log.size(), kKernelMessages);
  });
}

void Ignore(KernelMessage*, void*) {}

TEST(MsgKernelQueue, RefusalsLeaveTheKernelAsItWas) {
  RunOnController([] {
    MsgKernel never_started;  // never initialised
    MsgKernel kernel;
    MK_init(&kernel);
    int context = 0;
    KernelMessage* message = nullptr;
    struct Case {
      const char* name;
      std::uint32_t result;
    };
    const std::vector<Case> cases = {
        {"get: no kernel", MK_msg_get(nullptr, &message)},
        {"get: no place for the message", MK_msg_get(&kernel, nullptr)},
        {"get: kernel not initialised", MK_msg_get(&never_started, &message)},
        {"send: kernel not initialised", MK_msg_send(&never_started, false, kMsgTone, 1)},
        {"send: payload longer than a message's",
         MK_msg_send(&kernel, false, kMsgTone, 1, std::vector<std::uint8_t>(33, 7))},
        {"register: no kernel", MK_register(nullptr, kMsgTone, Ignore, &context)},
        {"register: class 0", MK_register(&kernel, 0, Ignore, &context)},
        {"register: class beyond a byte", MK_register(&kernel, 0x106, Ignore, &context)},
        {"register: no handler", MK_register(&kernel, kMsgTone, nullptr, &context)},
        {"register: no context", MK_register(&kernel, kMsgTone, Ignore, nullptr)},
        {"register: kernel not initialised",
         MK_register(&never_started, kMsgTone, Ignore, &context)},
        {"timer start: no request", MK_timer_start(nullptr)},
        {"timer remaining: no request", MK_timer_remaining(nullptr)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, kMkRefused) << c.name;
    EXPECT_EQ(message, nullptr);

    MK_clock_advance(&never_started, 5);
    EXPECT_EQ(never_started.clock.load(), 0u);
    MK_msg_post(nullptr, nullptr);
    MK_dispatch(nullptr);
    MK_post_elapsed(&never_started);
    TimerRequest no_kernel;
    EXPECT_EQ(MK_timer_start(&no_kernel), kMkRefused);
    MK_timer_stop(nullptr);

    // Nothing was taken or registered by the refusals.
    EXPECT_EQ(FreeMessages(kernel), static_cast<int>(kKernelMessages));
    EXPECT_TRUE(kernel.handlers.empty());
    for (std::size_t n = 0; n < kClassHandlers; ++n) {
      EXPECT_EQ(MK_register(&kernel, kMsgTone, Ignore, &context), kMkOk);
    }
    EXPECT_EQ(MK_register(&kernel, kMsgTone, Ignore, &context), kMkRefused) << "the 11th";
  });
}

// Class 1's handler: on the first message it takes a message (the pool is
// empty, so the rest are dispatched inside it) and posts or keeps it.
struct Nester {
  Recorder recorder;
  MsgKernel* kernel;
  bool post_it;
  KernelMessage* kept = nullptr;
};

void NestOnFirst(KernelMessage* message, void* context) {
  auto* n = static_cast<Nester*>(context);
  const std::uint8_t tag = Tag(message);
  n->recorder.log->push_back({"enter", message->msg_class, tag});
  if (tag == 1) {
    KernelMessage* taken = nullptr;
    ASSERT_EQ(MK_msg_get(n->kernel, &taken), kMkOk);
    if (n->post_it) {
      taken->msg_class = kMsgLineEvents;
      taken->payload[0] = 9;
      MK_msg_post(n->kernel, taken);
    } else {
      n->kept = taken;
    }
  }
  n->recorder.log->push_back({"leave", message->msg_class, tag});
}

TEST(MsgKernelQueue, NestedDispatchRunsEachMessageOnce) {
  struct Case {
    const char* name;
    bool post_it;
    std::vector<Handled> expected;
    int free_after;  // and pending after: the rest of the pool
  };
  auto enter = [](std::uint8_t tag) { return Handled{"enter", kMsgLineEvents, tag}; };
  auto leave = [](std::uint8_t tag) { return Handled{"leave", kMsgLineEvents, tag}; };
  const std::vector<Handled> nested = {enter(1), enter(2), leave(2), enter(3), leave(3),
                                       enter(4), leave(4), enter(5), leave(5), leave(1)};
  const std::vector<Case> cases = {
      {"the handler posts what it took: it waits for the next dispatch", true, nested, 4},
      {"the handler keeps what it took: the queue is empty", false, nested, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      LoggedKernel logged;
      MsgKernel& kernel = logged.kernel;
      std::vector<Handled>& log = logged.log;
      Nester nester{{"n", &log}, &kernel, c.post_it};
      ASSERT_EQ(MK_register(&kernel, kMsgLineEvents, NestOnFirst, &nester), kMkOk);
      for (std::uint8_t tag = 1; tag <= kKernelMessages; ++tag) {
        ASSERT_EQ(Send(kernel, false, kMsgLineEvents, tag), kMkOk);
      }
      MK_dispatch(&kernel);
      EXPECT_EQ(log, c.expected);
      EXPECT_EQ(FreeMessages(kernel), c.free_after);
      EXPECT_EQ(kernel.pending.empty(), !c.post_it);
      log.clear();
      MK_dispatch(&kernel);
      const std::vector<Handled> next =
          c.post_it ? std::vector<Handled>{enter(9), leave(9)} : std::vector<Handled>{};
      EXPECT_EQ(log, next);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
