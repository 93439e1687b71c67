// Seeded random inputs. The generator is the standard 64-bit Mersenne
// twister, whose sequence the language fixes; the mappings to ranges and
// types are our own, so a seed gives the same inputs on every machine.
#pragma once

#include <cstdint>
#include <limits>
#include <random>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qvls_test {

// A seed derived from a name (FNV-1a), so each test has its own fixed stream.
constexpr std::uint64_t SeedFor(std::string_view name) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : name) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : engine_(seed) {}
  explicit Rng(std::string_view name) : engine_(SeedFor(name)) {}

  std::uint64_t Bits() { return engine_(); }

  // Uniform in [lo, hi], both included.
  std::int64_t Range(std::int64_t lo, std::int64_t hi) {
    const std::uint64_t width = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    const auto span = static_cast<unsigned __int128>(width) + 1;
    const auto step =
        static_cast<std::uint64_t>((static_cast<unsigned __int128>(Bits()) * span) >> 64);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) + step);
  }

  bool Chance(int numerator, int denominator) { return Range(0, denominator - 1) < numerator; }

  // Any value of an integer type, every bit pattern equally likely.
  template <class T>
  T Any() {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 8);
    return static_cast<T>(Bits());
  }

  // Any value, with the values where integer code breaks (the bounds, their
  // neighbours, 0 and +-1) drawn once in `edge_in` draws.
  template <class T>
  T WithEdges(int edge_in = 8) {
    if (!Chance(1, edge_in)) return Any<T>();
    constexpr T lo = std::numeric_limits<T>::min();
    constexpr T hi = std::numeric_limits<T>::max();
    const T edges[] = {lo, static_cast<T>(lo + 1), static_cast<T>(-1), 0, 1, static_cast<T>(hi - 1),
                       hi};
    return edges[Range(0, std::size(edges) - 1)];
  }

  template <class T>
  std::vector<T> Vector(std::size_t n, int edge_in = 8) {
    std::vector<T> values(n);
    for (T& v : values) v = WithEdges<T>(edge_in);
    return values;
  }

 private:
  std::mt19937_64 engine_;
};

}  // namespace qvls_test
