// The controller's side of a V.8 exchange for data-pump tests, on a
// ControllerDouble: as caller, from register 56's event 32 it keeps CM
// queued until two equal JMs came through the receive mailbox, then queues
// CJ and sends command 0x68 with the continuation and the mode both menus
// share; as answerer, once two equal CMs came it sends the continuation with
// that mode and keeps JM queued until CJ's zero octets arrive.
//
//   V8Controller v8(controller_double, host, {.originate = true, .menu = ...});
//   ... each tick: v8.Poll();  v8.done(), v8.mode() ...
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pump/core/host_interface.h"
#include "pump/tests/support/controller_double.h"
#include "pump/tests/support/v8_messages.h"

namespace pump::testing {

struct V8ControllerConfig {
  bool originate = true;
  v8msg::Menu menu{};
  std::uint8_t rate_code = 4;
};

class V8Controller {
 public:
  V8Controller(ControllerDouble& controller, HostInterface& host, V8ControllerConfig config);

  // The 0x68 that starts the call under V.8 (selector 2).
  void StartCall();
  // One look at the page and the receive mailbox.
  void Poll();

  // The continuation was sent: the exchange is over for the controller.
  bool done() const { return continued_; }
  // The mode sent with the continuation.
  std::optional<int> mode() const { return mode_; }
  // Octets received so far through the mailbox.
  const std::vector<std::uint8_t>& received() const { return received_; }

 private:
  enum class Step { kWait, kMenu, kClose, kDone };

  std::uint8_t P2() const;
  void PollCaller();
  void PollAnswerer();
  void TakeReceived();
  // Two equal messages in a row at the end of what came in.
  std::optional<v8msg::Menu> RepeatedMenu() const;
  void Continue(int mode);

  ControllerDouble& controller_;
  HostInterface& host_;
  V8ControllerConfig config_;
  std::vector<std::uint8_t> received_;
  std::size_t blocks_taken_ = 0;
  Step step_ = Step::kWait;
  bool continued_ = false;
  std::optional<v8msg::Menu> far_;
  std::optional<int> mode_;
};

}  // namespace pump::testing
