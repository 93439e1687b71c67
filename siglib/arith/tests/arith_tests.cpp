// What every operation shares: the argument checks, and the walk over a
// vector.
//
// Every operation at every length from 1 to 40, which crosses each kernel's
// minimum length (6/7, 10/11, 14/15, 18/19, 22/23/24 elements) and leaves
// every size of head and tail, with its destination at every byte offset
// from 0 to 15 (odd ones included) and its sources at offsets that meet
// each of those, for scale factors of each path: the results equal the
// model and nothing outside the destination changes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "siglib/arith/tests/arith_models.h"
#include "siglib/frame/slots.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

constexpr std::int32_t kLongest = 40;
constexpr std::size_t kOffsets = 16;

template <class T>
std::vector<T> Values(Rng& rng, std::int32_t n) {
  std::vector<T> v(n);
  for (T& x : v) {
    if constexpr (std::is_same_v<T, qvls_ci16>) {
      x = {rng.WithEdges<std::int16_t>(4), rng.WithEdges<std::int16_t>(4)};
    } else {
      x = rng.WithEdges<T>(4);
    }
  }
  return v;
}

// One operation with one scale factor, as the test drives it: run(len,
// dst_offset, src_offset, rng) builds its vectors, calls the entry and
// checks the destination.
struct Case {
  std::string name;
  std::function<void(std::int32_t, std::size_t, std::size_t, Rng&)> run;
  bool has_source = true;
};

// srcdst = model(srcdst)
template <class T, class Call, class Model>
Case InPlace(std::string name, Call call, Model model) {
  return {name,
          [=](std::int32_t len, std::size_t d, std::size_t, Rng& rng) {
            const std::vector<T> x = Values<T>(rng, len);
            GuardedBuffer<T> srcdst(std::span<const T>(x), d);
            ASSERT_EQ(call(srcdst.data(), len), QVLS_OK);
            std::vector<T> expected;
            for (const T& v : x) expected.push_back(model(v));
            ASSERT_TRUE(Holds<T>(srcdst, expected));
          },
          false};
}

// srcdst = model(src, srcdst), or dst = model(src) (the second vector then
// only receives).
template <class T, class Call, class Model>
Case TwoVectors(std::string name, Call call, Model model) {
  return {name, [=](std::int32_t len, std::size_t d, std::size_t s, Rng& rng) {
            const std::vector<T> a = Values<T>(rng, len);
            const std::vector<T> b = Values<T>(rng, len);
            GuardedBuffer<T> src(std::span<const T>(a), s);
            GuardedBuffer<T> srcdst(std::span<const T>(b), d);
            ASSERT_EQ(call(src.data(), srcdst.data(), len), QVLS_OK);
            std::vector<T> expected;
            for (std::int32_t i = 0; i < len; ++i) expected.push_back(model(a[i], b[i]));
            ASSERT_TRUE(Holds<T>(srcdst, expected));
            ASSERT_TRUE(Holds<T>(src, a)) << "the source changed";
          }};
}

// dst = model(srcA, srcB), srcB at its own offset.
template <class T, class Call, class Model>
Case ThreeVectors(std::string name, Call call, Model model) {
  return {name, [=](std::int32_t len, std::size_t d, std::size_t s, Rng& rng) {
            const std::vector<T> a = Values<T>(rng, len);
            const std::vector<T> b = Values<T>(rng, len);
            GuardedBuffer<T> src_a(std::span<const T>(a), s);
            GuardedBuffer<T> src_b(std::span<const T>(b), (s + 3 * d + 5) % kOffsets);
            GuardedBuffer<T> dst(len, d);
            ASSERT_EQ(call(src_a.data(), src_b.data(), dst.data(), len), QVLS_OK);
            std::vector<T> expected;
            for (std::int32_t i = 0; i < len; ++i) expected.push_back(model(a[i], b[i]));
            ASSERT_TRUE(Holds<T>(dst, expected));
          }};
}

using Pointers = std::array<void*, 3>;

// One operation with its pointer arguments taken from p (in argument order)
// and the other arguments chosen so that, past the checks, a short cut
// would answer 0 without writing (a factor of 1, a constant of 0) or zeros
// would be written.
struct Operation {
  const char* name;
  int pointers;
  std::function<qvls_status(const Pointers& p, std::int32_t len)> call;
};

class Arith : public VariantTest {
 protected:
  std::vector<Operation> Operations() const {
    const auto& t = qvls_variant_table;
    using I16 = std::int16_t;
    using I32 = std::int32_t;
    auto i16 = [](void* p) { return static_cast<I16*>(p); };
    auto i32 = [](void* p) { return static_cast<I32*>(p); };
    auto ci16 = [](void* p) { return static_cast<qvls_ci16*>(p); };
    const auto add32 = Entry(t.qvlsAdd_i32_ip_sc);
    const auto add16 = Entry(t.qvlsAdd_i16_ip_sc);
    const auto sub_ip = Entry(t.qvlsSub_i16_ip);
    const auto sub_const = Entry(t.qvlsSubConst_i16_ip);
    const auto sub_sc = Entry(t.qvlsSub_i16_ip_sc);
    const auto sub = Entry(t.qvlsSub_i16);
    const auto mul_const = Entry(t.qvlsMulConst_i16_ip);
    const auto mul_const_sc = Entry(t.qvlsMulConst_i16_ip_sc);
    const auto mul_const32 = Entry(t.qvlsMulConst_i32_ip_sc);
    const auto mul_const_out = Entry(t.qvlsMulConst_i16_sc);
    const auto mul = Entry(t.qvlsMul_i16_ip_sc);
    const auto mul32 = Entry(t.qvlsMul_i32_sc);
    const auto mul_complex = Entry(t.qvlsMul_ci16_ip_sc);
    const auto abs = Entry(t.qvlsAbs_i16_ip);
    // clang-format off
    return {
      {"qvlsAdd_i32_ip_sc", 2, [=](const Pointers& p, I32 n) { return add32(i32(p[0]), i32(p[1]), n, 40); }},
      {"qvlsAdd_i16_ip_sc", 2, [=](const Pointers& p, I32 n) { return add16(i16(p[0]), i16(p[1]), n, 20); }},
      {"qvlsSub_i16_ip", 2, [=](const Pointers& p, I32 n) { return sub_ip(i16(p[0]), i16(p[1]), n); }},
      {"qvlsSubConst_i16_ip", 1, [=](const Pointers& p, I32 n) { return sub_const(0, i16(p[0]), n); }},
      {"qvlsSub_i16_ip_sc", 2, [=](const Pointers& p, I32 n) { return sub_sc(i16(p[0]), i16(p[1]), n, 20); }},
      {"qvlsSub_i16", 3, [=](const Pointers& p, I32 n) { return sub(i16(p[0]), i16(p[1]), i16(p[2]), n); }},
      {"qvlsMulConst_i16_ip", 1, [=](const Pointers& p, I32 n) { return mul_const(1, i16(p[0]), n); }},
      {"qvlsMulConst_i16_ip_sc", 1, [=](const Pointers& p, I32 n) { return mul_const_sc(1, i16(p[0]), n, 0); }},
      {"qvlsMulConst_i32_ip_sc", 1, [=](const Pointers& p, I32 n) { return mul_const32(1, i32(p[0]), n, 0); }},
      {"qvlsMulConst_i16_sc", 2, [=](const Pointers& p, I32 n) { return mul_const_out(i16(p[0]), 0, i16(p[1]), n, 3); }},
      {"qvlsMul_i16_ip_sc", 2, [=](const Pointers& p, I32 n) { return mul(i16(p[0]), i16(p[1]), n, 31); }},
      {"qvlsMul_i32_sc", 3, [=](const Pointers& p, I32 n) { return mul32(i32(p[0]), i32(p[1]), i32(p[2]), n, 63); }},
      {"qvlsMul_ci16_ip_sc", 2, [=](const Pointers& p, I32 n) { return mul_complex(ci16(p[0]), ci16(p[1]), n, 32); }},
      {"qvlsAbs_i16_ip", 1, [=](const Pointers& p, I32 n) { return abs(i16(p[0]), n); }},
    };
    // clang-format on
  }

  std::vector<Case> Cases() const {
    const auto& t = qvls_variant_table;
    const Variant column = variant();
    using I16 = std::int16_t;
    using I32 = std::int32_t;
    std::vector<Case> cases;
    auto name = [](const char* op, std::int32_t sf) { return op + (" sf " + std::to_string(sf)); };

    for (std::int32_t sf : {0, 1, 9, 16, -4, -15, -16, -30}) {
      const auto add = Entry(t.qvlsAdd_i16_ip_sc);
      const auto sub = Entry(t.qvlsSub_i16_ip_sc);
      cases.push_back(TwoVectors<I16>(
          name("qvlsAdd_i16_ip_sc", sf), [=](auto s, auto d, I32 n) { return add(s, d, n, sf); },
          [=](I16 s, I16 d) { return Scaled16(d + s, sf); }));
      cases.push_back(TwoVectors<I16>(
          name("qvlsSub_i16_ip_sc", sf), [=](auto s, auto d, I32 n) { return sub(s, d, n, sf); },
          [=](I16 s, I16 d) { return Scaled16(d - s, sf); }));
    }
    cases.push_back(TwoVectors<I16>("qvlsSub_i16_ip", Entry(t.qvlsSub_i16_ip),
                                    [](I16 s, I16 d) { return Scaled16(d - s, 0); }));
    const auto sub_const = Entry(t.qvlsSubConst_i16_ip);
    cases.push_back(InPlace<I16>(
        "qvlsSubConst_i16_ip", [=](I16* d, I32 n) { return sub_const(-12345, d, n); },
        [](I16 x) { return Scaled16(x + 12345, 0); }));
    cases.push_back(ThreeVectors<I16>("qvlsSub_i16", Entry(t.qvlsSub_i16),
                                      [](I16 a, I16 b) { return Scaled16(b - a, 0); }));

    for (std::int32_t sf : {0, 1, 2, 3, 17, 32, -1, -30, -31}) {
      const auto add = Entry(t.qvlsAdd_i32_ip_sc);
      cases.push_back(TwoVectors<I32>(
          name("qvlsAdd_i32_ip_sc", sf), [=](auto s, auto d, I32 n) { return add(s, d, n, sf); },
          [=](I32 s, I32 d) { return Scaled32(static_cast<__int128>(d) + s, sf); }));
    }

    const auto mul_const_ip = Entry(t.qvlsMulConst_i16_ip);
    cases.push_back(InPlace<I16>(
        "qvlsMulConst_i16_ip", [=](I16* d, I32 n) { return mul_const_ip(-12345, d, n); },
        [](I16 x) { return Scaled16(-12345 * x, 0); }));
    for (std::int32_t sf : {0, 1, 15, 30, -3, -15, -16}) {
      const auto in_place = Entry(t.qvlsMulConst_i16_ip_sc);
      const auto out_of_place = Entry(t.qvlsMulConst_i16_sc);
      const auto mul = Entry(t.qvlsMul_i16_ip_sc);
      const auto complex = Entry(t.qvlsMul_ci16_ip_sc);
      cases.push_back(InPlace<I16>(
          name("qvlsMulConst_i16_ip_sc", sf),
          [=](I16* d, I32 n) { return in_place(-23456, d, n, sf); },
          [=](I16 x) { return Scaled16(-23456 * x, sf); }));
      cases.push_back(TwoVectors<I16>(
          name("qvlsMulConst_i16_sc", sf),
          [=](const I16* s, I16* d, I32 n) { return out_of_place(s, 31111, d, n, sf); },
          [=](I16 s, I16) { return Scaled16(31111 * s, sf); }));
      cases.push_back(TwoVectors<I16>(
          name("qvlsMul_i16_ip_sc", sf), [=](auto s, auto d, I32 n) { return mul(s, d, n, sf); },
          [=](I16 s, I16 d) { return Scaled16(s * d, sf); }));
      cases.push_back(TwoVectors<qvls_ci16>(
          name("qvlsMul_ci16_ip_sc", sf),
          [=](auto s, auto d, I32 n) { return complex(s, d, n, sf); },
          [=](qvls_ci16 s, qvls_ci16 d) { return ComplexProductModel(s, d, sf); }));
    }
    for (std::int32_t sf : {0, 14, 62, -3, -31, -32}) {
      const auto mul_const = Entry(t.qvlsMulConst_i32_ip_sc);
      const auto mul = Entry(t.qvlsMul_i32_sc);
      cases.push_back(InPlace<I32>(
          name("qvlsMulConst_i32_ip_sc", sf),
          [=](I32* d, I32 n) { return mul_const(-1234567891, d, n, sf); },
          [=](I32 x) { return Scaled32(static_cast<__int128>(-1234567891) * x, sf); }));
      cases.push_back(ThreeVectors<I32>(
          name("qvlsMul_i32_sc", sf),
          [=](auto a, auto b, auto d, I32 n) { return mul(a, b, d, n, sf); },
          [=](I32 a, I32 b) {
            return column == w7 ? W7Product32(a, b, sf) : ExactProduct32(a, b, sf);
          }));
    }
    cases.push_back(InPlace<I16>("qvlsAbs_i16_ip", Entry(t.qvlsAbs_i16_ip), [](I16 x) {
      return static_cast<I16>(x == -32768 ? 32767 : (x < 0 ? -x : x));
    }));
    return cases;
  }
};

// Sources at the destination's offset (aligned alike), and at two offsets
// that move with the length, so that over the lengths every source offset
// meets every destination offset.
std::vector<std::size_t> SourceOffsets(std::int32_t len, std::size_t d) {
  return {d, (d + len) % kOffsets, (d + 3 * len + 1) % kOffsets};
}

TEST_P(Arith, LengthsAndAlignments) {
  Rng rng("Arith.LengthsAndAlignments");
  for (const Case& c : Cases()) {
    for (std::int32_t len = 1; len <= kLongest; ++len) {
      for (std::size_t d = 0; d < kOffsets; ++d) {
        const std::vector<std::size_t> sources =
            c.has_source ? SourceOffsets(len, d) : std::vector<std::size_t>{0};
        for (std::size_t s : sources) {
          FpEnvironmentGuard keeps_settings;
          c.run(len, d, s, rng);
          if (HasFatalFailure() || !keeps_settings.Unchanged()) {
            FAIL() << c.name << " at length " << len << ", destination offset " << d
                   << ", source offset " << s;
          }
        }
      }
    }
  }
}

// A null pointer answers -8 whatever the length; with every pointer valid,
// a length of 0 or less answers -6; either way nothing is written.
TEST_P(Arith, ChecksInOrderAndWriteNothing) {
  constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    GuardedBuffer<std::int32_t> first(16, 1);
    GuardedBuffer<std::int32_t> second(16, 6);
    GuardedBuffer<std::int32_t> third(16, 11);
    const std::vector<std::int32_t> before = first.Load();
    const Pointers valid{first.data(), second.data(), third.data()};

    for (int k = 0; k < op.pointers; ++k) {
      Pointers p = valid;
      p[k] = nullptr;
      for (std::int32_t len : {5, 0, -1}) {
        EXPECT_EQ(CallKeepingFpSettings(op.call, p, len), QVLS_ERR_NULL_POINTER)
            << "pointer " << k << ", len " << len;
      }
    }
    for (std::int32_t len : {0, -1, kInt32Min}) {
      EXPECT_EQ(CallKeepingFpSettings(op.call, valid, len), QVLS_ERR_DATA_SIZE) << "len " << len;
    }
    for (const GuardedBuffer<std::int32_t>* buffer : {&first, &second, &third}) {
      EXPECT_EQ(buffer->Load(), before);
      EXPECT_TRUE(buffer->Intact());
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(Arith);

}  // namespace
}  // namespace qvls_test
