// The LMS state's set-up operations in every variant: create's checks and
// its cleanup, the round trips of taps and delay line, what the index names,
// the offsets of get delay value, and the refusals that keep every access
// inside the state's blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/lms/tests/lms_harness.h"

namespace qvls_test::lms {
namespace {

constexpr ULONG kTag = plat::ex::PoolTag("Ddk ");

class LmsState : public VariantTest {
 protected:
  plat::ex::PoolUsage Live() const { return pool_.LiveByTag(kTag); }

  plat::ex::Pool pool_{"lms-state"};
  plat::ex::ScopedPool installed_{pool_};
};

// Runs body.template operator()<Real>() and <Complex>().
template <class Body>
void ForBothKinds(Body&& body) {
  body.template operator()<Real>();
  body.template operator()<Complex>();
}

struct CreateCase {
  const char* what;
  bool null_out;
  std::int32_t tapsLen, delayStep, updateDelay, index;
  qvls_status real, complex;  // what each kind answers
};

// The pool refuses blocks above 1 MiB here, so a size that passes the
// checks but is too large to hold fails as -9, not by exhausting the host.
constexpr CreateCase kCreateCases[] = {
    {"null out pointer before any size", true, 0, 0, -1, -1, -8, -8},
    {"no taps", false, 0, 1, 0, 0, -6, -6},
    {"negative taps", false, -3, 1, 0, 0, -6, -6},
    {"step 0", false, 4, 0, 0, 0, -6, -6},
    {"negative step", false, 4, -2, 0, 0, -6, -6},
    {"index -1", false, 4, 2, 1, -1, -6, -6},
    {"index delayLen", false, 4, 2, 1, 9, -6, -6},
    {"index INT32_MIN", false, 4, 2, 1, kMin, -6, -6},
    {"negative updateDelay", false, 4, 2, -1, 0, -6, -6},
    {"updateDelay cancelling the whole line", false, 1, 1, -1, 0, -6, -6},
    {"tapsLen * delayStep wrapping to 65536 in 32 bits", false, 65536, 65537, 0, 0, -6, -6},
    {"tapsLen * delayStep of 2^32 wrapping to 0", false, 65536, 65536, 7, 0, -6, -6},
    {"delayLen 2^31", false, 1, 1, kMax, 0, -6, -6},
    {"real line of 2^31 bytes", false, 1 << 14, 1 << 15, 0, 0, -6, -6},
    {"complex line of 2^31 bytes, real 2^30", false, 1 << 14, 1 << 14, 0, 0, -9, -6},
    {"real line 4 bytes short of 2^31", false, 1, 1, (1 << 29) - 2, 0, -9, -6},
    {"last index", false, 4, 2, 1, 8, 0, 0},
    {"one slot", false, 1, 1, 0, 0, 0, 0},
};

TEST_P(LmsState, CreateChecksAndCleanup) {
  pool_.FailAbove(1 << 20);
  ForBothKinds([&]<class K>() {
    for (const CreateCase& c : kCreateCases) {
      SCOPED_TRACE(testing::Message() << K::kName << ": " << c.what);
      lms_state placeholder{};
      lms_state* out = &placeholder;
      const qvls_status want = kIsComplex<K> ? c.complex : c.real;
      const qvls_status got =
          Call(qvls_variant_table.*K::kCreate, c.null_out ? nullptr : &out, nullptr, c.tapsLen,
               nullptr, c.index, c.delayStep, c.updateDelay, 0);
      EXPECT_EQ(got, want);
      if (want == QVLS_OK) {
        ASSERT_NE(out, nullptr);
        ASSERT_NE(out, &placeholder);
        // Null taps and line: every tap and both copies of every slot are 0.
        const Snapshot snap = Snap<K>(*out);
        EXPECT_EQ(snap.taps, std::vector<std::int32_t>(snap.taps.size(), 0));
        EXPECT_EQ(snap.delay, std::vector<std::int16_t>(snap.delay.size(), 0));
        EXPECT_EQ(Live().blocks, 3u);
        EXPECT_EQ(EntryOf<K::kDestroy>(variant())(out), QVLS_OK);
      } else if (want == QVLS_ERR_MEM_ALLOCATED) {
        EXPECT_EQ(out, nullptr);
      } else {
        EXPECT_EQ(out, &placeholder) << "the caller's pointer must keep its value";
      }
      EXPECT_EQ(Live(), plat::ex::PoolUsage{});
    }
  });
  pool_.ClearFaults();

  // The record, the taps and the line in turn refused by the pool: nothing
  // is left outstanding and the caller's pointer is null.
  ForBothKinds([&]<class K>() {
    Rng rng("LmsState.CreateChecksAndCleanup");
    const auto taps = RandomTaps<K>(rng, 5);
    const auto line = RandomSamples<K>(rng, 5 * 3 + 2);
    for (std::uint64_t n : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << K::kName << ": allocation " << n << " refused");
      lms_state placeholder{};
      lms_state* out = &placeholder;
      pool_.FailNthAllocation(n);
      EXPECT_EQ(Call(qvls_variant_table.*K::kCreate, &out, taps.data(), 5, line.data(), 2, 3, 2, 9),
                QVLS_ERR_MEM_ALLOCATED);
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(Live(), plat::ex::PoolUsage{}) << pool_.LeakReport();
      pool_.ClearFaults();
    }
  });
  EXPECT_EQ(EntryOf<Real::kDestroy>(variant())(nullptr), QVLS_OK);
}

TEST_P(LmsState, RoundTrips) {
  ForBothKinds([&]<class K>() {
    SCOPED_TRACE(K::kName);
    Rng rng(std::string("LmsState.RoundTrips.") + K::kName);
    FilterSpec<K> setup{.tapsLen = 7, .delayStep = 3, .updateDelay = 2, .index = 11, .mu = 5000};
    setup.taps = RandomTaps<K>(rng, 7);
    setup.line = RandomSamples<K>(rng, setup.delayLen());
    Filter<K> f(variant(), setup);
    ASSERT_TRUE(f.ok());

    // Create copies the caller's data; get returns it in the caller's order
    // while the taps pointer shows the stored, reversed order.
    EXPECT_EQ(f.Taps(), setup.taps);
    std::int32_t* stored = nullptr;
    EXPECT_EQ(Call(qvls_variant_table.*K::kTapsPtr, f.state(), &stored), QVLS_OK);
    ASSERT_NE(stored, nullptr);
    for (std::int32_t i = 0; i < setup.tapsLen; ++i) {
      const auto& tap = setup.taps[setup.tapsLen - 1 - i];
      if constexpr (kIsComplex<K>) {
        EXPECT_EQ((qvls_ci32{stored[2 * i], stored[2 * i + 1]}), tap) << "stored tap " << i;
      } else {
        EXPECT_EQ(stored[i], tap) << "stored tap " << i;
      }
    }
    std::int32_t index = -1;
    EXPECT_EQ(f.Line(&index), setup.line);
    EXPECT_EQ(index, setup.index);

    const auto taps = RandomTaps<K>(rng, 7);
    f.SetTaps(taps);
    EXPECT_EQ(f.Taps(), taps);
    f.SetTaps({});
    EXPECT_EQ(f.Taps(), std::vector<typename K::Tap>(7));
    f.SetTaps(taps);

    // Get then set delay line puts back exactly the state it read, second
    // copy included, whatever ran in between.
    for (int i = 0; i < 5; ++i) f.Push(RandomSample<K>(rng));
    std::int32_t saved_index = -1;
    const auto saved = f.Line(&saved_index);
    const Snapshot before = Snap<K>(*f.state());
    for (int i = 0; i < 9; ++i) f.Push(RandomSample<K>(rng));
    f.SetDelayLine({}, 0);
    EXPECT_EQ(Snap<K>(*f.state()).delay, std::vector<std::int16_t>(before.delay.size(), 0));
    f.SetDelayLine(saved, saved_index);
    EXPECT_EQ(Snap<K>(*f.state()), before);

    // Set step keeps a negative value as it is: the update then moves the
    // taps as the model does with the same step.
    FilterSpec<K> now = setup;
    now.taps = taps;
    now.line = saved;
    now.index = saved_index;
    Model<K> model(now);
    for (std::int32_t mu : {-1, -32768, kMin}) {
      f.SetStep(mu);
      model.SetStep(mu);
      typename K::Error error{};
      if constexpr (kIsComplex<K>) {
        error = {12345, -777};
      } else {
        error = 12345;
      }
      f.Update(error);
      model.Update(error);
      EXPECT_EQ(f.Taps(), model.taps()) << "mu " << mu;
    }
  });
}

// The index that get delay line answers is the slot of the oldest sample,
// the one the next push overwrites; the newest is at index - 1, cyclically.
TEST_P(LmsState, IndexNamesOldestSlot) {
  ForBothKinds([&]<class K>() {
    SCOPED_TRACE(K::kName);
    Rng rng(std::string("LmsState.IndexNamesOldestSlot.") + K::kName);
    FilterSpec<K> setup{.tapsLen = 3, .delayStep = 2, .updateDelay = 1, .index = 5};
    const std::int32_t n = setup.delayLen();  // 7
    Filter<K> f(variant(), setup);
    ASSERT_TRUE(f.ok());
    std::vector<typename K::Sample> pushed;
    for (std::int32_t k = 0; k < 3 * n; ++k) {
      std::int32_t before = -1;
      f.Line(&before);
      const auto x = RandomSample<K>(rng);
      f.Push(x);
      pushed.push_back(x);
      std::int32_t index = -1;
      const auto line = f.Line(&index);
      EXPECT_EQ(index, (setup.index + k + 1) % n) << "after " << k + 1 << " pushes";
      EXPECT_EQ(line[before], x) << "the push took the slot the index named";
      EXPECT_EQ(line[(index + n - 1) % n], x) << "the newest sample sits at index - 1";
      if (k + 1 >= n) {
        EXPECT_EQ(line[index], pushed[k + 1 - n]) << "the oldest sample sits at index";
      }
      EXPECT_EQ(f.DelayValue((setup.tapsLen - 1) * setup.delayStep), x);
    }
  });
}

// Offset k of the output window: (tapsLen - 1) * delayStep is the newest
// sample and every step down one push older; beyond the newest, the oldest
// follows, cyclically, up to offset delayLen. Offset (tapsLen - 1 - k) *
// delayStep is also the sample that the caller's tap k multiplies.
TEST_P(LmsState, DelayValueOffsets) {
  struct Shape {
    std::int32_t tapsLen, delayStep, updateDelay, index;
  };
  constexpr Shape kShapes[] = {{1, 1, 0, 0}, {4, 1, 0, 3},  {3, 2, 1, 6},
                               {5, 3, 6, 0}, {2, 5, 2, 11}, {6, 2, 0, 7}};
  ForBothKinds([&]<class K>() {
    Rng rng(std::string("LmsState.DelayValueOffsets.") + K::kName);
    for (const Shape& shape : kShapes) {
      SCOPED_TRACE(testing::Message()
                   << K::kName << " taps " << shape.tapsLen << " step " << shape.delayStep
                   << " delay " << shape.updateDelay << " index " << shape.index);
      FilterSpec<K> setup{.tapsLen = shape.tapsLen,
                          .delayStep = shape.delayStep,
                          .updateDelay = shape.updateDelay,
                          .index = shape.index};
      const std::int32_t n = setup.delayLen();
      setup.line = RandomSamples<K>(rng, n);
      Filter<K> f(variant(), setup);
      ASSERT_TRUE(f.ok());
      // Time order, oldest first.
      std::vector<typename K::Sample> history(n);
      for (std::int32_t j = 0; j < n; ++j) history[j] = setup.line[(setup.index + j) % n];
      const std::int32_t newest = (setup.tapsLen - 1) * setup.delayStep;
      for (std::int32_t k = 0; k <= n; ++k) {
        const auto want = k <= newest ? history[n - 1 - (newest - k)] : history[k - newest - 1];
        EXPECT_EQ(f.DelayValue(k), want) << "offset " << k;
      }
      for (std::int32_t k = 0; k < setup.tapsLen; ++k) {
        std::vector<typename K::Tap> unit(setup.tapsLen);
        if constexpr (kIsComplex<K>) {
          unit[k] = {1 << 16, 0};
          const auto x = f.DelayValue((setup.tapsLen - 1 - k) * setup.delayStep);
          f.SetTaps(unit);
          EXPECT_EQ(f.Output(), (qvls_ci32{x.re, x.im})) << "caller's tap " << k;
        } else {
          unit[k] = 1 << 16;
          const auto x = f.DelayValue((setup.tapsLen - 1 - k) * setup.delayStep);
          f.SetTaps(unit);
          EXPECT_EQ(f.Output(), x) << "caller's tap " << k;
        }
      }
    }
  });
}

// Every refusal answers before anything is written: null pointers -8, a
// state of the other kind -17, an index outside the line -6, an offset
// outside 0 .. delayLen -5. Destroy and the taps pointer take either kind.
TEST_P(LmsState, UnsafeValuesRejected) {
  ForBothKinds([&]<class K>() {
    using Other = std::conditional_t<kIsComplex<K>, Real, Complex>;
    SCOPED_TRACE(K::kName);
    Rng rng(std::string("LmsState.UnsafeValuesRejected.") + K::kName);
    FilterSpec<K> setup{.tapsLen = 4, .delayStep = 2, .updateDelay = 1, .index = 3, .mu = 99};
    setup.taps = RandomTaps<K>(rng, 4);
    setup.line = RandomSamples<K>(rng, setup.delayLen());
    Filter<K> f(variant(), setup);
    FilterSpec<Other> other_setup{.tapsLen = 4, .delayStep = 2, .updateDelay = 1, .index = 3};
    Filter<Other> other(variant(), other_setup);
    ASSERT_TRUE(f.ok() && other.ok());
    const Snapshot mine = Snap<K>(*f.state());
    const Snapshot theirs = Snap<Other>(*other.state());
    const std::int32_t n = setup.delayLen();
    const Variant v = variant();

    lms_state* s = f.state();
    lms_state* wrong = other.state();
    typename K::Sample sample{};
    typename K::Out out{};
    std::vector<typename K::Tap> taps(4);
    std::vector<typename K::Sample> line(n);
    std::int32_t index = 0;
    std::int32_t* pointer = nullptr;
    auto push_arg = [&] {
      if constexpr (kIsComplex<K>) {
        return sample;
      } else {
        return std::int32_t{1234};
      }
    }();
    auto update = [&](lms_state* state) {
      if constexpr (kIsComplex<K>) {
        return EntryOf<K::kUpdate>(v)(7, 7, state);
      } else {
        return EntryOf<K::kUpdate>(v)(7, state);
      }
    };
    struct Refusal {
      const char* what;
      qvls_status got, want;
    };
    const Refusal refusals[] = {
        {"push, null state", EntryOf<K::kPush>(v)(push_arg, nullptr), -8},
        {"output, null state", EntryOf<K::kOutput>(v)(&out, nullptr), -8},
        {"output, null out", EntryOf<K::kOutput>(v)(nullptr, s), -8},
        {"push-output, null state", EntryOf<K::kPushOutput>(v)(push_arg, &out, nullptr), -8},
        {"push-output, null out", EntryOf<K::kPushOutput>(v)(push_arg, nullptr, s), -8},
        {"update, null state", update(nullptr), -8},
        {"set taps, null state", EntryOf<K::kSetTaps>(v)(nullptr, taps.data()), -8},
        {"get taps, null state", EntryOf<K::kGetTaps>(v)(nullptr, taps.data()), -8},
        {"get taps, null destination", EntryOf<K::kGetTaps>(v)(s, nullptr), -8},
        {"taps pointer, null state", EntryOf<K::kTapsPtr>(v)(nullptr, &pointer), -8},
        {"taps pointer, null out", EntryOf<K::kTapsPtr>(v)(s, nullptr), -8},
        {"set line, null state", EntryOf<K::kSetDelayLine>(v)(nullptr, line.data(), 0), -8},
        {"get line, null state", EntryOf<K::kGetDelayLine>(v)(nullptr, line.data(), &index), -8},
        {"get line, null destination", EntryOf<K::kGetDelayLine>(v)(s, nullptr, &index), -8},
        {"get line, null index", EntryOf<K::kGetDelayLine>(v)(s, line.data(), nullptr), -8},
        {"get value, null state", EntryOf<K::kGetDelayValue>(v)(nullptr, &sample, 0), -8},
        {"get value, null destination", EntryOf<K::kGetDelayValue>(v)(s, nullptr, 0), -8},
        {"set step, null state", EntryOf<K::kSetStep>(v)(nullptr, 1), -8},
        {"push, other kind", EntryOf<K::kPush>(v)(push_arg, wrong), -17},
        {"output, other kind", EntryOf<K::kOutput>(v)(&out, wrong), -17},
        {"push-output, other kind", EntryOf<K::kPushOutput>(v)(push_arg, &out, wrong), -17},
        {"update, other kind", update(wrong), -17},
        {"set taps, other kind", EntryOf<K::kSetTaps>(v)(wrong, taps.data()), -17},
        {"get taps, other kind", EntryOf<K::kGetTaps>(v)(wrong, taps.data()), -17},
        {"set line, other kind", EntryOf<K::kSetDelayLine>(v)(wrong, line.data(), 0), -17},
        {"get line, other kind", EntryOf<K::kGetDelayLine>(v)(wrong, line.data(), &index), -17},
        {"get value, other kind", EntryOf<K::kGetDelayValue>(v)(wrong, &sample, 0), -17},
        {"set step, other kind", EntryOf<K::kSetStep>(v)(wrong, 1), -17},
        {"set line, other kind before the index", EntryOf<K::kSetDelayLine>(v)(wrong, nullptr, -1),
         -17},
        {"set line, index -1", EntryOf<K::kSetDelayLine>(v)(s, line.data(), -1), -6},
        {"set line, index delayLen", EntryOf<K::kSetDelayLine>(v)(s, line.data(), n), -6},
        {"clear line, index delayLen", EntryOf<K::kSetDelayLine>(v)(s, nullptr, n), -6},
        {"set line, index INT32_MAX", EntryOf<K::kSetDelayLine>(v)(s, line.data(), kMax), -6},
        {"set line, index INT32_MIN", EntryOf<K::kSetDelayLine>(v)(s, line.data(), kMin), -6},
        {"get value, offset -1", EntryOf<K::kGetDelayValue>(v)(s, &sample, -1), -5},
        {"get value, offset delayLen + 1", EntryOf<K::kGetDelayValue>(v)(s, &sample, n + 1), -5},
        {"get value, offset INT32_MAX", EntryOf<K::kGetDelayValue>(v)(s, &sample, kMax), -5},
        {"get value, offset INT32_MIN", EntryOf<K::kGetDelayValue>(v)(s, &sample, kMin), -5},
    };
    for (const Refusal& r : refusals) EXPECT_EQ(r.got, r.want) << r.what;
    EXPECT_EQ(Snap<K>(*f.state()), mine) << "a refused call changed the state";
    EXPECT_EQ(Snap<Other>(*other.state()), theirs) << "a refused call changed the other state";

    // The taps pointer looks at no marker.
    EXPECT_EQ(EntryOf<K::kTapsPtr>(v)(wrong, &pointer), QVLS_OK);
    EXPECT_EQ(pointer, other.state()->taps);
    // Destroy takes the other kind too.
    lms_state* spare = nullptr;
    ASSERT_EQ(EntryOf<Other::kCreate>(v)(&spare, nullptr, 2, nullptr, 0, 1, 0, 0), QVLS_OK);
    EXPECT_EQ(EntryOf<K::kDestroy>(v)(spare), QVLS_OK);
    EXPECT_EQ(Live().blocks, 6u) << "only the two filters remain";
  });
}

QVLS_INSTANTIATE_VARIANTS(LmsState);

}  // namespace
}  // namespace qvls_test::lms
