// Flow control both ways, scenario by scenario against a reference UART
// written here from the rules: the port stops the controller at the flow
// threshold (lowering DTR or RTS, or sending XOFF) and lets it go on once
// the application has read down to the receive mark (raising them, or
// sending XON); it holds the application's bytes while the controller's
// XOFF, or a missing CTS or DSR, says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kXon = 17;
constexpr std::uint8_t kXoff = 19;
constexpr std::uint32_t kQueue = 4096;
constexpr std::uint32_t kMark = 3328;  // 13/16 of the queue

class ReferenceUart {
 public:
  ReferenceUart(std::uint32_t flags, std::uint32_t xoff_limit)
      : rts_handshake_((flags & 0x4000) != 0),
        dtr_handshake_((flags & 0x2000) != 0),
        input_xonxoff_((flags & 0x200) != 0),
        output_xonxoff_((flags & 0x100) != 0),
        needs_cts_((flags & 0x8) != 0),
        needs_dsr_((flags & 0x10) != 0),
        threshold_(kQueue - xoff_limit) {
    held_by_lines_ = Missing();
  }

  bool running = true;
  Bytes delivered;  // what the controller took, in order

  void ControllerSends(std::uint8_t c) {
    const bool flow_char = output_xonxoff_ && (c == kXon || c == kXoff);
    if (flow_char) held_by_xoff_ = c == kXoff;
    if (read_.size() == kQueue || flow_char) return;
    read_.push_back(c);
    const bool stopped = stopped_by_lines_ || xoff_sent_;
    if (read_.size() < threshold_ || stopped) return;
    if (dtr_handshake_) {
      dtr_ = false;
      stopped_by_lines_ = true;
    }
    if (rts_handshake_) {
      rts_ = false;
      stopped_by_lines_ = true;
    }
    if (input_xonxoff_) {
      xoff_sent_ = Give(kXoff);
      xoff_owed_ = !xoff_sent_;
    }
  }

  Bytes ApplicationReads(std::uint32_t n) {
    Bytes taken;
    while (n-- > 0 && !read_.empty()) {
      taken.push_back(read_.front());
      read_.pop_front();
    }
    if ((stopped_by_lines_ || xoff_sent_) && read_.size() <= kMark) Resume();
    return taken;
  }

  void ApplicationWrites(const Bytes& bytes) { write_.insert(write_.end(), bytes.begin(), bytes.end()); }

  void Drain() {
    while (!held_by_lines_) {
      if (xoff_owed_) {
        if (!Give(kXoff)) return;
        xoff_owed_ = false;
        xoff_sent_ = true;
      }
      if (xon_owed_) {
        if (!Give(kXon)) return;
        xon_owed_ = xoff_owed_ = xoff_sent_ = false;
      }
      if (held_by_xoff_ || write_.empty() || !Give(write_.front())) return;
      write_.pop_front();
    }
  }

  void SetCts(bool on) { SetLine(cts_, on); }
  void SetDsr(bool on) { SetLine(dsr_, on); }

  std::uint32_t read_count() const { return static_cast<std::uint32_t>(read_.size()); }
  std::uint32_t write_count() const { return static_cast<std::uint32_t>(write_.size()); }
  std::uint8_t rts() const { return rts_ ? 1 : 0; }
  std::uint8_t dtr() const { return dtr_ ? 1 : 0; }
  std::uint8_t flow() const {
    return (xoff_owed_ ? 0x01 : 0) | (stopped_by_lines_ ? 0x02 : 0) | (xon_owed_ ? 0x04 : 0) |
           (held_by_xoff_ ? 0x08 : 0) | (xoff_sent_ ? 0x10 : 0) | (held_by_lines_ ? 0x20 : 0);
  }

 private:
  bool Give(std::uint8_t c) {
    if (running) delivered.push_back(c);
    return running;
  }

  bool Missing() const { return (needs_cts_ && !cts_) || (needs_dsr_ && !dsr_); }

  void SetLine(bool& line, bool on) {
    if (line == on) return;
    line = on;
    if (!needs_cts_ && !needs_dsr_) return;
    held_by_lines_ = Missing();
    if (!held_by_lines_) Drain();
  }

  void Resume() {
    xoff_owed_ = false;
    if (xoff_sent_ || xon_owed_) {
      xoff_sent_ = false;
      xon_owed_ = !Give(kXon);
    }
    if (rts_handshake_) rts_ = true;
    if (dtr_handshake_) dtr_ = true;
    stopped_by_lines_ = false;
    Drain();
  }

  const bool rts_handshake_, dtr_handshake_, input_xonxoff_, output_xonxoff_, needs_cts_,
      needs_dsr_;
  const std::uint32_t threshold_;
  std::deque<std::uint8_t> read_, write_;
  bool rts_ = true, dtr_ = true, cts_ = false, dsr_ = false;
  bool xoff_owed_ = false, stopped_by_lines_ = false, xon_owed_ = false, held_by_xoff_ = false,
       xoff_sent_ = false, held_by_lines_ = false;
};

struct Step {
  enum Kind { kSend, kSendChar, kRead, kWrite, kDrain, kCts, kDsr, kRunning } kind;
  std::uint32_t n = 0;  // characters sent or read; a character; a line or running state
  std::string text{};   // written
};

Step Send(std::uint32_t n) { return {Step::kSend, n}; }
Step SendChar(std::uint8_t c) { return {Step::kSendChar, c}; }
Step Read(std::uint32_t n) { return {Step::kRead, n}; }
Step Write(std::string text) { return {Step::kWrite, 0, std::move(text)}; }
Step Drain() { return {Step::kDrain}; }
Step Cts(bool on) { return {Step::kCts, on ? 1u : 0u}; }
Step Dsr(bool on) { return {Step::kDsr, on ? 1u : 0u}; }
Step Running(bool on) { return {Step::kRunning, on ? 1u : 0u}; }

struct Scenario {
  const char* name;
  std::uint32_t flags;
  std::uint32_t xoff_limit;
  std::vector<Step> steps;
};

// What the port handed the controller, gathered after every action so the
// pending log never has to hold more than one action's calls.
struct PortSide {
  Bytes delivered;
  std::uint32_t sent = 0;

  void Collect() {
    const Bytes now = Delivered();
    delivered.insert(delivered.end(), now.begin(), now.end());
    ClearPending();
  }

  // The port's read (its resume once the queue is down to the receive
  // mark while the controller is stopped).
  Bytes Read(PortBlock& port, std::uint32_t n) {
    Bytes taken(n);
    taken.resize(uart_rx_get(taken));
    const std::uint32_t left = uart_rx_count();
    if ((port.flow.load() & (kFlowStoppedByLines | kFlowXoffSent)) != 0 &&
        (left <= kMark || left == 0)) {
      port_rx_resume();
    }
    Collect();
    return taken;
  }
};

std::uint8_t Letter(std::uint32_t i) { return static_cast<std::uint8_t>('A' + i % 26); }

void Play(const Scenario& scenario) {
  PortRig::Run([&](PortBlock& port) {
    SCOPED_TRACE(scenario.name);
    SerialDcb dcb = kDefaultSerialDcb;
    dcb.flags = scenario.flags;
    dcb.xoff_limit = scenario.xoff_limit;
    ASSERT_TRUE(port_set_comm_state(&port, &dcb, kFieldFlags | kFieldXoffLimit));
    ReferenceUart model(scenario.flags, scenario.xoff_limit);
    PortSide side;
    side.Collect();
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
      const Step& step = scenario.steps[i];
      SCOPED_TRACE(::testing::Message() << "step " << i);
      switch (step.kind) {
        case Step::kSend:
          for (std::uint32_t k = 0; k < step.n; ++k) {
            const std::uint8_t c = Letter(side.sent++);
            uart_rx_char(c);
            side.Collect();
            model.ControllerSends(c);
          }
          break;
        case Step::kSendChar:
          uart_rx_char(static_cast<std::uint8_t>(step.n));
          side.Collect();
          model.ControllerSends(static_cast<std::uint8_t>(step.n));
          break;
        case Step::kRead:
          EXPECT_EQ(side.Read(port, step.n), model.ApplicationReads(step.n));
          break;
        case Step::kWrite: {
          const Bytes bytes(step.text.begin(), step.text.end());
          ASSERT_EQ(uart_tx_put(bytes), bytes.size());
          model.ApplicationWrites(bytes);
          break;
        }
        case Step::kDrain:
          qor_rx_int();
          side.Collect();
          model.Drain();
          break;
        case Step::kCts:
          step.n != 0 ? uart_cts_on() : uart_cts_off();
          side.Collect();
          model.SetCts(step.n != 0);
          break;
        case Step::kDsr:
          step.n != 0 ? uart_dsr_on() : uart_dsr_off();
          side.Collect();
          model.SetDsr(step.n != 0);
          break;
        case Step::kRunning:
          acu_running().store(static_cast<std::uint8_t>(step.n));
          model.running = step.n != 0;
          break;
      }
      ASSERT_EQ(uart_rx_count(), model.read_count());
      ASSERT_EQ(uart_tx_count(), model.write_count());
      ASSERT_EQ(uart_line_get(kLineRts), model.rts());
      ASSERT_EQ(uart_line_get(kLineDtr), model.dtr());
      ASSERT_EQ(port.flow.load(), model.flow());
      ASSERT_EQ(side.delivered, model.delivered);
    }
  });
}

// Stop at the threshold, more arrives while stopped, one read resumes
// (already below the mark), the second stop needs the read down to it.
const std::vector<Step> kStopAndResume = {Send(3071), Send(1),   Send(10),  Read(1),
                                          Send(300),  Read(52),  Read(1),   Send(500),
                                          Read(4096), Send(200), Read(4096)};

TEST(UartFlow, InputFlowControl) {
  const Scenario scenarios[] = {
      {"RTS handshake", 0x1 | 0x4000, 1024, kStopAndResume},
      {"DTR handshake", 0x1 | 0x2000, 1024, kStopAndResume},
      {"input XON/XOFF", 0x1 | 0x200, 1024, kStopAndResume},
      {"all three", 0x1 | 0x4000 | 0x2000 | 0x200, 1024, kStopAndResume},
      {"limit 0: stop when full", 0x1 | 0x4000, 0, {Send(4095), Send(1), Send(5), Read(768), Read(1)}},
      {"limit above the queue: never", 0x1 | 0x4000 | 0x200, 5000, {Send(4200), Read(4096)}},
      {"without input flow control", 0x1, 1024, kStopAndResume},
  };
  for (const Scenario& scenario : scenarios) Play(scenario);
}

// The controller refuses a flow character: it stays owed, and the drain
// delivers it ahead of the application's bytes.
TEST(UartFlow, RefusedFlowCharacters) {
  const Scenario scenarios[] = {
      {"XOFF refused, then delivered by the drain",
       0x1 | 0x200,
       1024,
       {Running(false), Send(3072), Write("ab"), Drain(), Running(true), Drain(), Read(1)}},
      {"XON refused, then delivered by the drain",
       0x1 | 0x200,
       1024,
       {Send(3072), Running(false), Read(1), Write("cd"), Drain(), Running(true), Drain()}},
      {"an owed XOFF outlives a read while nothing stopped the controller",
       0x1 | 0x200,
       1024,
       {Running(false), Send(3072), Read(1), Running(true), Drain(), Write("e"), Drain()}},
      {"an owed XOFF dropped when the lines resume",
       0x1 | 0x4000 | 0x200,
       1024,
       {Running(false), Send(3072), Read(1), Running(true), Drain(), Write("e"), Drain()}},
  };
  for (const Scenario& scenario : scenarios) Play(scenario);
}

TEST(UartFlow, OutputFlowControl) {
  const Scenario scenarios[] = {
      {"output XON/XOFF",
       0x1 | 0x100,
       0xFFFFFFFF,
       {Write("hello"), SendChar(kXoff), Drain(), Send(3), Write("!"), Drain(), SendChar(kXon),
        Drain(), Read(10)}},
      {"CTS output hold",
       0x1 | 0x8,
       0xFFFFFFFF,
       {Write("data"), Drain(), Dsr(true), Cts(true), Cts(false), Write("more"), Drain(),
        Cts(true)}},
      {"DSR output hold",
       0x1 | 0x10,
       0xFFFFFFFF,
       {Write("data"), Drain(), Cts(true), Dsr(true), Dsr(false), Write("more"), Drain(),
        Dsr(true)}},
      {"CTS and DSR",
       0x1 | 0x18,
       0xFFFFFFFF,
       {Write("both"), Cts(true), Drain(), Dsr(true), Cts(false), Write("x"), Drain(), Cts(true)}},
      {"no output handshake: the lines move nothing",
       0x1,
       0xFFFFFFFF,
       {Write("ab"), Cts(true), Dsr(true), Cts(false), Drain()}},
      {"XOFF and CTS together",
       0x1 | 0x100 | 0x8,
       0xFFFFFFFF,
       {Write("xy"), SendChar(kXoff), Cts(true), Drain(), SendChar(kXon), Drain()}},
      {"input and output at once",
       0x1 | 0x200 | 0x100 | 0x8,
       1024,
       {Write("ab"), Send(3072), Cts(true), SendChar(kXoff), Read(1), Drain(), SendChar(kXon),
        Drain()}},
  };
  for (const Scenario& scenario : scenarios) Play(scenario);
}

}  // namespace
}  // namespace vxctl::testing
