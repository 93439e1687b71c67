// Runs a fuzz entry point (LLVMFuzzerTestOneInput) where libFuzzer is not
// available: every seed file once, then `--runs` inputs made by mutating the
// seeds with a generator started from `--seed`, so a run is reproducible.
//   fuzz_target --seed 1 --runs 20000 seed-file...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Input = std::vector<std::uint8_t>;
constexpr std::size_t kMaxLength = 256;

Input Mutate(const std::vector<Input>& seeds, std::mt19937_64& random) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::size_t(random() % n); };
  Input input = seeds[pick(seeds.size())];
  for (int steps = 1 + int(pick(4)); steps > 0; --steps) {
    const auto byte = static_cast<std::uint8_t>(random());
    switch (pick(5)) {
      case 0:  // change a byte
        if (!input.empty()) input[pick(input.size())] = byte;
        break;
      case 1:  // insert a byte
        input.insert(input.begin() + std::ptrdiff_t(pick(input.size() + 1)), byte);
        break;
      case 2:  // delete a byte
        if (!input.empty()) input.erase(input.begin() + std::ptrdiff_t(pick(input.size())));
        break;
      case 3: {  // splice in part of another seed
        const Input& other = seeds[pick(seeds.size())];
        const std::size_t from = pick(other.size() + 1);
        const std::size_t length = pick(other.size() - from + 1);
        input.insert(input.begin() + std::ptrdiff_t(pick(input.size() + 1)),
                     other.begin() + std::ptrdiff_t(from),
                     other.begin() + std::ptrdiff_t(from + length));
        break;
      }
      default: {  // repeat a stretch of the input
        const std::size_t from = pick(input.size() + 1);
        const Input stretch(input.begin() + std::ptrdiff_t(from),
                            input.begin() + std::ptrdiff_t(from + pick(input.size() - from + 1)));
        input.insert(input.begin() + std::ptrdiff_t(pick(input.size() + 1)), stretch.begin(),
                     stretch.end());
        break;
      }
    }
  }
  if (input.size() > kMaxLength) input.resize(kMaxLength);
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1;
  long runs = 0;
  std::vector<Input> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::ifstream file(arg, std::ios::binary);
      if (!file) {
        std::fprintf(stderr, "cannot read seed %s\n", arg.c_str());
        return 2;
      }
      seeds.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
  }
  if (seeds.empty()) seeds.emplace_back();
  for (const Input& input : seeds) LLVMFuzzerTestOneInput(input.data(), input.size());
  std::mt19937_64 random(seed);
  for (long run = 0; run < runs; ++run) {
    const Input input = Mutate(seeds, random);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%zu seeds and %ld generated inputs ran\n", seeds.size(), runs);
  return 0;
}
