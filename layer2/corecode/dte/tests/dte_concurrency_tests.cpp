// The port's write worker feeds characters while the task thread takes
// them and queues output, and the read worker pushes and the application
// reads: over many seeds, both streams keep their order and the escape
// capture ring only ever holds what the application sent, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

constexpr std::size_t kStream = 1500;

Bytes Letters(std::mt19937& rng, bool with_escapes) {
  Bytes bytes;
  while (bytes.size() < kStream) {
    if (with_escapes && rng() % 40 == 0) {
      bytes.insert(bytes.end(), {'+', '+', '+'});
    } else {
      bytes.push_back(static_cast<std::uint8_t>('a' + rng() % 26));
    }
  }
  return bytes;
}

bool IsSubsequence(const Bytes& part, const Bytes& whole) {
  auto at = whole.begin();
  for (std::uint8_t c : part) {
    at = std::find(at, whole.end(), c);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

TEST(DteConcurrency, StreamsKeepTheirOrderAndTheCaptureStaysConsistent) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(seed);
      StartOnline(0, kFlowKindXonXoff);
      std::mt19937 rng(seed);
      const Bytes input = Letters(rng, true);
      const Bytes output = Letters(rng, false);
      Bytes received, read, captured;
      bool writing = true;
      std::mt19937 writer_rng(seed * 3), task_rng(seed * 5), reader_rng(seed * 7);
      RunThreads({
          {16,
           [&] {  // the port's write worker
             std::size_t at = 0;
             while (at < input.size()) {
               const std::size_t n = std::min<std::size_t>(1 + writer_rng() % 40, input.size() - at);
               at += uart_tx_put(std::span(input).subspan(at, n));
               qor_rx_int();
               SleepMs(writer_rng() % 3);
             }
             while (uart_tx_count() != 0) {
               qor_rx_int();
               SleepMs(1);
             }
             writing = false;
           }},
          {16,
           [&] {  // the task thread
             std::size_t out = 0;
             while (writing || dte_from_count() != 0 || out < output.size()) {
               for (std::uint32_t n = task_rng() % 60; n != 0 && dte_from_count() != 0; --n) {
                 received.push_back(dte_from_char());
               }
               for (std::uint32_t n = task_rng() % 60; n != 0 && out < output.size(); --n) {
                 if (dte_to_free() == 0) break;
                 dte_to_char(output[out++]);
               }
               dte_to_push();
               while (dte_esc_count() != 0) {
                 ASSERT_LE(dte_esc_count(), 44u);
                 captured.push_back(dte_esc_char());
               }
               SleepMs(task_rng() % 3);
             }
           }},
          {16,
           [&] {  // the read worker and the application
             while (read.size() < output.size()) {
               dte_to_free();
               for (std::uint8_t c : AppRead()) {
                 if (c != kXon && c != kXoff) read.push_back(c);
               }
               SleepMs(reader_rng() % 3);
             }
           }},
      });
      EXPECT_EQ(received, input);
      EXPECT_EQ(read, output);
      EXPECT_FALSE(captured.empty());
      EXPECT_TRUE(IsSubsequence(captured, input));
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
