// The kernel's timers against a model in absolute expiry times: seeded
// sequences of starts, stops, queries and advances through the kernel's
// clock (which wraps), and the firing order of equal expiries.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <random>
#include <vector>

#include "layer2/corecode/mt/kernel/msg_kernel.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// The timers as the rules state them, in absolute milliseconds. Ids come
// from a free list that starts 1..24 and gets each freed id at its tail;
// the running timers are kept in firing order.
class TimerModel {
 public:
  struct Timer {
    std::uint8_t id;
    std::uint64_t expiry;
    int token;
  };

  TimerModel() {
    for (std::uint8_t id = 1; id <= kKernelTimers; ++id) free_.push_back(id);
  }

  std::optional<std::uint8_t> Start(std::uint32_t ms, int token) {
    if (free_.empty()) return std::nullopt;
    const Timer timer{free_.front(), now_ + ms, token};
    free_.pop_front();
    running_.insert(running_.begin() + static_cast<std::ptrdiff_t>(Place(timer.expiry)), timer);
    return timer.id;
  }

  // Equal expiries: a timer due now goes to the head, or behind the head
  // when that is due now too; a later one goes behind the first timer of
  // its expiry, and behind the second as well when there is one; with none
  // of its expiry it goes before the first that expires later.
  std::size_t Place(std::uint64_t expiry) const {
    if (expiry == now_) return !running_.empty() && running_.front().expiry == now_ ? 1 : 0;
    for (std::size_t i = 0; i < running_.size(); ++i) {
      if (running_[i].expiry == expiry) {
        return i + 1 < running_.size() && running_[i + 1].expiry == expiry ? i + 2 : i + 1;
      }
      if (running_[i].expiry > expiry) return i;
    }
    return running_.size();
  }

  void Stop(std::uint8_t id) {
    auto it = Find(id);
    if (it == running_.end()) return;
    running_.erase(it);
    free_.push_back(id);
  }

  std::optional<std::uint64_t> Remaining(std::uint8_t id) const {
    auto it =
        std::find_if(running_.begin(), running_.end(), [&](const Timer& t) { return t.id == id; });
    if (it == running_.end()) return std::nullopt;
    return it->expiry - now_;
  }

  // An advance of 0 fires nothing, not even timers due now.
  std::vector<Timer> Advance(std::uint32_t elapsed) {
    std::vector<Timer> fired;
    if (elapsed == 0) return fired;
    now_ += elapsed;
    while (!running_.empty() && running_.front().expiry <= now_) {
      fired.push_back(running_.front());
      free_.push_back(running_.front().id);
      running_.erase(running_.begin());
    }
    return fired;
  }

  const std::vector<Timer>& running() const { return running_; }
  std::uint64_t MaxRemaining() const {
    return running_.empty() ? 0 : running_.back().expiry - now_;
  }

 private:
  std::vector<Timer>::iterator Find(std::uint8_t id) {
    return std::find_if(running_.begin(), running_.end(),
                        [&](const Timer& t) { return t.id == id; });
  }

  std::uint64_t now_ = 0;
  std::vector<Timer> running_;
  std::deque<std::uint8_t> free_;
};

constexpr int kTokens = 2048;
constexpr std::uint8_t kUntouched = 0xEE;

// The kernel under test, advanced through its clock the way the line
// services' poll does, with one owner variable per start (token).
struct TimerRig {
  MsgKernel kernel;
  std::vector<int> fired;
  std::array<std::uint8_t, kTokens> owners{};

  static void OnExpiry(TimerArg rig, TimerArg token) {
    reinterpret_cast<TimerRig*>(rig)->fired.push_back(static_cast<int>(token));
  }

  // The clock starts `clock` ms before it wraps.
  explicit TimerRig(std::uint32_t before_wrap = 0) {
    MK_init(&kernel);
    owners.fill(kUntouched);
    Advance(0u - before_wrap);
  }

  std::uint32_t Start(std::uint32_t ms, int token, bool with_owner) {
    TimerRequest request;
    request.kernel = &kernel;
    request.owner = with_owner ? &owners[static_cast<std::size_t>(token)] : nullptr;
    request.ms = ms;
    request.SetCallback(OnExpiry, reinterpret_cast<TimerArg>(this), static_cast<TimerArg>(token));
    return MK_timer_start(&request);
  }
  void Stop(std::uint8_t id) {
    TimerRequest request;
    request.kernel = &kernel;
    request.id = id;
    MK_timer_stop(&request);
  }
  std::optional<std::uint32_t> Remaining(std::uint8_t id) {
    TimerRequest request;
    request.kernel = &kernel;
    request.id = id;
    if (MK_timer_remaining(&request) != kMkOk) return std::nullopt;
    return request.ms;
  }
  void Advance(std::uint32_t ms) {
    MK_clock_advance(&kernel, ms);
    MK_post_elapsed(&kernel);
    MK_dispatch(&kernel);
  }
};

std::vector<int> Tokens(const std::vector<TimerModel::Timer>& timers) {
  std::vector<int> tokens;
  for (const TimerModel::Timer& t : timers) tokens.push_back(t.token);
  return tokens;
}

void ExpectRemainingAsModel(TimerRig& rig, const TimerModel& model) {
  for (std::uint8_t id = 0; id <= kKernelTimers + 2; ++id) {
    const std::optional<std::uint64_t> expected = model.Remaining(id);
    const std::optional<std::uint32_t> actual = rig.Remaining(id);
    ASSERT_EQ(actual.has_value(), expected.has_value()) << "id " << int{id};
    if (expected) {
      ASSERT_EQ(*actual, *expected) << "id " << int{id};
    }
  }
}

TEST(KernelTimerModel, SeededSequencesFollowTheModel) {
  RunOnController([] {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
      SCOPED_TRACE(seed);
      std::mt19937 rng(seed);
      auto uniform = [&](std::uint64_t lo, std::uint64_t hi) {
        return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
      };
      TimerRig rig(static_cast<std::uint32_t>(uniform(1, 5000)));
      TimerModel model;
      std::vector<bool> has_owner(kTokens, false);
      int next_token = 0;
      for (int step = 0; step < 300 && next_token < kTokens; ++step) {
        const std::uint64_t op = uniform(0, 99);
        if (op < 40) {  // start
          const std::uint64_t kind = uniform(0, 9);
          const auto ms =
              static_cast<std::uint32_t>(kind < 2   ? 0
                                         : kind < 6 ? uniform(1, 40)
                                         : kind < 9 ? uniform(100, 5000)
                                                    : uniform(0xFFFF0000u, 0xFFFFFFFFu));
          const int token = next_token++;
          const bool owner = uniform(0, 3) != 0;
          has_owner[token] = owner;
          const std::optional<std::uint8_t> id = model.Start(ms, token);
          ASSERT_EQ(rig.Start(ms, token, owner), id ? kMkOk : kMkRefused);
          if (owner) {
            ASSERT_EQ(rig.owners[token], id ? *id : kUntouched);
          }
        } else if (op < 55) {  // stop a running timer, or an id that may not run
          std::uint8_t id = static_cast<std::uint8_t>(uniform(0, kKernelTimers + 2));
          if (!model.running().empty() && uniform(0, 1) == 0) {
            id = model.running()[uniform(0, model.running().size() - 1)].id;
          }
          const auto& running = model.running();
          auto it = std::find_if(running.begin(), running.end(),
                                 [&](const TimerModel::Timer& t) { return t.id == id; });
          rig.Stop(id);
          if (it != running.end() && has_owner[it->token]) {
            // The stop leaves the owner's variable to its caller.
            EXPECT_EQ(rig.owners[it->token], id);
            rig.owners[it->token] = 0;
          }
          model.Stop(id);
        } else if (op < 70) {  // query
          const auto id = static_cast<std::uint8_t>(uniform(0, kKernelTimers + 2));
          const std::optional<std::uint64_t> expected = model.Remaining(id);
          const std::optional<std::uint32_t> actual = rig.Remaining(id);
          ASSERT_EQ(actual.has_value(), expected.has_value());
          if (expected) {
            ASSERT_EQ(*actual, *expected);
          }
        } else {  // advance: 0, small, past every timer
          const std::uint64_t kind = uniform(0, 9);
          const std::uint64_t past_all =
              std::min<std::uint64_t>(model.MaxRemaining() + uniform(0, 50), 0xFFFFFFFFu);
          const auto ms = static_cast<std::uint32_t>(kind < 2   ? 0
                                                     : kind < 8 ? uniform(1, 30)
                                                                : past_all);
          rig.fired.clear();
          const std::vector<TimerModel::Timer> fired = model.Advance(ms);
          rig.Advance(ms);
          ASSERT_EQ(rig.fired, Tokens(fired));
          for (const TimerModel::Timer& t : fired) {
            if (has_owner[t.token]) {
              EXPECT_EQ(rig.owners[t.token], 0) << "token " << t.token;
            }
          }
          ExpectRemainingAsModel(rig, model);
        }
        for (const TimerModel::Timer& t : model.running()) {
          if (has_owner[t.token]) {
            ASSERT_EQ(rig.owners[t.token], t.id);
          }
        }
      }
    }
  });
}

TEST(KernelTimerModel, EqualExpiriesFireInInsertionRuleOrder) {
  // Each start: {ms, clock advance before it}. Tokens are the starts'
  // positions; after the starts one advance reaches them all.
  struct Start {
    std::uint32_t ms;
    std::uint32_t advance_before = 0;
  };
  struct Case {
    const char* name;
    std::vector<Start> starts;
    std::vector<int> order;
  };
  const std::vector<Case> cases = {
      {"two of one expiry: in start order", {{50}, {50}}, {0, 1}},
      {"a third of one expiry goes behind the second", {{50}, {50}, {50}}, {0, 1, 2}},
      {"a fourth goes behind the second too, ahead of the third",
       {{50}, {50}, {50}, {50}},
       {0, 1, 3, 2}},
      {"an earlier timer ahead of the group changes nothing",
       {{30}, {50}, {50}, {50}},
       {0, 1, 2, 3}},
      {"the same expiry reached after an advance", {{50}, {30, 20}, {30}, {30}}, {0, 1, 3, 2}},
      {"0 ms timers: the head, then each new one behind the head", {{0}, {0}, {0}}, {0, 2, 1}},
      {"a 0 ms timer goes ahead of a later head", {{10}, {0}}, {1, 0}},
      {"a later timer never passes an earlier one", {{60}, {40}, {50}}, {1, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunOnController([&] {
      TimerRig rig;
      for (std::size_t n = 0; n < c.starts.size(); ++n) {
        rig.Advance(c.starts[n].advance_before);
        ASSERT_EQ(rig.Start(c.starts[n].ms, static_cast<int>(n), false), kMkOk);
      }
      rig.Advance(1000);
      EXPECT_EQ(rig.fired, c.order);
    });
  }
}

TEST(KernelTimerModel, AdvanceOfZeroFiresNothing) {
  RunOnController([] {
    TimerRig rig;
    ASSERT_EQ(rig.Start(0, 0, true), kMkOk);
    const std::uint8_t id = rig.owners[0];
    rig.Advance(0);  // the clock did not move: no advance is posted
    MK_timers_advance(&rig.kernel.timers, 0);
    MK_msg_send(&rig.kernel, true, kMsgTimerService, kTimersAdvanceCode);  // payload 0
    MK_dispatch(&rig.kernel);
    EXPECT_TRUE(rig.fired.empty());
    EXPECT_EQ(rig.Remaining(id), 0u);
    rig.Advance(1);
    EXPECT_EQ(rig.fired, (std::vector<int>{0}));
    EXPECT_EQ(rig.owners[0], 0);
  });
}

TEST(KernelTimerModel, ResetMessageStopsEveryTimerSilently) {
  RunOnController([] {
    TimerRig rig;
    for (int token = 0; token < 5; ++token) ASSERT_EQ(rig.Start(10u * token, token, true), kMkOk);
    ASSERT_EQ(MK_msg_send(&rig.kernel, false, kMsgTimerService, kTimersResetCode), kMkOk);
    MK_dispatch(&rig.kernel);
    rig.Advance(1000);
    EXPECT_TRUE(rig.fired.empty());
    for (std::uint8_t id = 1; id <= kKernelTimers; ++id) EXPECT_FALSE(rig.Remaining(id));
    // The owners are not told.
    for (int token = 0; token < 5; ++token) EXPECT_EQ(rig.owners[token], token + 1);
    // Ids start again from 1.
    ASSERT_EQ(rig.Start(5, 9, true), kMkOk);
    EXPECT_EQ(rig.owners[9], 1);
  });
}

}  // namespace
}  // namespace vxctl::testing
