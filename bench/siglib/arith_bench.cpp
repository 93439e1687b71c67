// Add, subtract, multiply and absolute value per variant, at the data pump's
// block lengths and scale factors: multiply by a constant sf 15, multiply
// sf 15, complex multiply sf 14, 32-bit add sf 0 and 14, 32-bit multiply by
// a constant sf 14 and of two vectors sf 30; the operations the data pump
// does not scale run at sf 1. Sizes are element counts; every vector starts
// on a 64-byte boundary.
//
// An operation that rewrites its input gets fresh input on every call: it
// works through kCopies prepared copies in turn, and they are all prepared
// again, with the clock stopped, once every one has been used.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::initializer_list<std::int64_t> kLengths = {52, 80, 96, 128, 1024};
constexpr std::int32_t kCopies = 64;

// `count` vectors of n random elements, each on a 64-byte boundary.
template <class T>
class Vectors {
 public:
  Vectors(std::int64_t n, std::int32_t count, std::uint32_t seed)
      : stride_((static_cast<std::size_t>(n) * sizeof(T) + 63) / 64 * 64),
        pristine_(stride_ * static_cast<std::size_t>(count)),
        storage_(pristine_.size() + 64) {
    std::mt19937 engine(seed);
    for (std::uint8_t& byte : pristine_) byte = static_cast<std::uint8_t>(engine());
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
    first_ = storage_.data() + ((64 - (address & 63)) & 63);
    Refill();
  }

  T* At(std::int32_t k) { return reinterpret_cast<T*>(first_ + stride_ * k); }

  // Every vector as it was made.
  void Refill() { std::memcpy(first_, pristine_.data(), pristine_.size()); }

 private:
  std::size_t stride_;
  std::vector<std::uint8_t> pristine_;
  std::vector<std::uint8_t> storage_;
  std::uint8_t* first_;
};

// call(entry, src, srcdst, n) on fresh srcdst contents every time; src (if
// the operation has one) stays.
template <class T, class Fn, class Call>
void RegisterInPlace(const char* name, const qvls_variant_record<Fn>& record, Call call) {
  qvls_bench::RegisterPerVariant(
      "Arith", name, record, kLengths,
      [call](benchmark::State& state, std::int32_t, Fn* entry, std::int64_t n) {
        Vectors<T> src(n, 1, 1);
        Vectors<T> srcdst(n, kCopies, 2);
        std::int32_t next = 0;
        for (auto _ : state) {
          if (next == kCopies) {
            state.PauseTiming();
            srcdst.Refill();
            next = 0;
            state.ResumeTiming();
          }
          benchmark::DoNotOptimize(
              call(entry, src.At(0), srcdst.At(next++), static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * n);
      });
}

// call(entry, a, b, dst, n) with sources that stay.
template <class T, class Fn, class Call>
void RegisterOutOfPlace(const char* name, const qvls_variant_record<Fn>& record, Call call) {
  qvls_bench::RegisterPerVariant(
      "Arith", name, record, kLengths,
      [call](benchmark::State& state, std::int32_t, Fn* entry, std::int64_t n) {
        Vectors<T> sources(n, 2, 3);
        Vectors<T> dst(n, 1, 4);
        for (auto _ : state) {
          benchmark::DoNotOptimize(
              call(entry, sources.At(0), sources.At(1), dst.At(0), static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * n);
      });
}

using I16 = std::int16_t;
using I32 = std::int32_t;

const qvls_bench::Registration kArith([] {
  const auto& t = qvls_variant_table;
  for (I32 sf : {0, 14}) {
    const std::string name = "Add_i32_ip_sc_sf" + std::to_string(sf);
    RegisterInPlace<I32>(name.c_str(), t.qvlsAdd_i32_ip_sc,
                         [sf](auto* op, I32* s, I32* d, I32 n) { return op(s, d, n, sf); });
  }
  RegisterInPlace<I16>("Add_i16_ip_sc_sf1", t.qvlsAdd_i16_ip_sc,
                       [](auto* op, I16* s, I16* d, I32 n) { return op(s, d, n, 1); });
  RegisterInPlace<I16>("Sub_i16_ip", t.qvlsSub_i16_ip,
                       [](auto* op, I16* s, I16* d, I32 n) { return op(s, d, n); });
  RegisterInPlace<I16>("SubConst_i16_ip", t.qvlsSubConst_i16_ip,
                       [](auto* op, I16*, I16* d, I32 n) { return op(1234, d, n); });
  RegisterInPlace<I16>("Sub_i16_ip_sc_sf1", t.qvlsSub_i16_ip_sc,
                       [](auto* op, I16* s, I16* d, I32 n) { return op(s, d, n, 1); });
  RegisterOutOfPlace<I16>("Sub_i16", t.qvlsSub_i16,
                          [](auto* op, I16* a, I16* b, I16* d, I32 n) { return op(a, b, d, n); });
  RegisterInPlace<I16>("MulConst_i16_ip", t.qvlsMulConst_i16_ip,
                       [](auto* op, I16*, I16* d, I32 n) { return op(-3, d, n); });
  RegisterInPlace<I16>("MulConst_i16_ip_sc_sf15", t.qvlsMulConst_i16_ip_sc,
                       [](auto* op, I16*, I16* d, I32 n) { return op(23170, d, n, 15); });
  RegisterInPlace<I32>("MulConst_i32_ip_sc_sf14", t.qvlsMulConst_i32_ip_sc,
                       [](auto* op, I32*, I32* d, I32 n) { return op(11585, d, n, 14); });
  RegisterOutOfPlace<I16>(
      "MulConst_i16_sc_sf15", t.qvlsMulConst_i16_sc,
      [](auto* op, I16* a, I16*, I16* d, I32 n) { return op(a, 23170, d, n, 15); });
  RegisterInPlace<I16>("Mul_i16_ip_sc_sf15", t.qvlsMul_i16_ip_sc,
                       [](auto* op, I16* s, I16* d, I32 n) { return op(s, d, n, 15); });
  RegisterOutOfPlace<I32>(
      "Mul_i32_sc_sf30", t.qvlsMul_i32_sc,
      [](auto* op, I32* a, I32* b, I32* d, I32 n) { return op(a, b, d, n, 30); });
  RegisterInPlace<qvls_ci16>(
      "Mul_ci16_ip_sc_sf14", t.qvlsMul_ci16_ip_sc,
      [](auto* op, qvls_ci16* s, qvls_ci16* d, I32 n) { return op(s, d, n, 14); });
  RegisterInPlace<I16>("Abs_i16_ip", t.qvlsAbs_i16_ip,
                       [](auto* op, I16*, I16* d, I32 n) { return op(d, n); });
});

}  // namespace
