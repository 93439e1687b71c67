// A machine's serial port as a Linux pseudo-terminal. The serial side is an
// ordinary application of the machine: two emulated user threads with the
// port open once for the bridge's whole life. "pty-out" keeps one
// WaitCommEvent pending and on each event reads the port until it gives 0
// bytes, handing them to the master; "pty-in" reads the master and writes
// to the port. The host side is reached only through plat::ke::ExternalCall,
// so the simulation must run paced to a wall clock.
//
//   plat::pty::PtyBridge bridge(machine.kernel(), "/tmp/modem");
//   bridge.Start();                        // after the machine booted
//   sim.RunUntil(...);                     // applications use /tmp/modem
//   bridge.Stop();                         // from the host thread
//   sim.RunUntil([&] { return bridge.stopped(); });
//
// "pty-in" also follows the slave every 10 ms: its terminal settings become
// the port's requests (termios_requests.h), a Linux open raises DTR, the last
// close lowers it under HUPCL, a flush purges the port. "pty-out" watches
// the modem lines: carrier lost without CLOCAL gives the application end of
// file and a new pseudo-terminal behind the same link; the lines are kept in
// the file LINK.lines.
//
// Data is never dropped by the bridge while someone has the slave open:
// toward the port it reads the master only as far as WriteFile takes it;
// toward the application a full master stops the reads of the port, whose
// read queue then raises the flow control the application chose.
#pragma once

#include <termios.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/pty/pty_master.h"
#include "platform/pty/termios_requests.h"
#include "platform/win32/win32.h"

namespace plat::pty {

class PtyBridge {
 public:
  PtyBridge(ke::Kernel& machine, std::string link, std::u16string port = u"COM1");
  PtyBridge(const PtyBridge&) = delete;
  PtyBridge& operator=(const PtyBridge&) = delete;

  // Makes the pseudo-terminal and starts the serial side; false (with
  // error()) when the pseudo-terminal cannot be made.
  bool Start();
  // From any host thread: the threads end, the port closes.
  void Stop() { stop_ = true; }
  bool stopped() const { return threads_ended_ == threads_started_; }
  // Set when the port failed to open or to take its settings.
  const std::string& error() const { return error_; }
  const PtyMaster* master() const { return master_.get(); }
  // How many last closes of the slave the bridge has acted on.
  int closes_seen() const { return closes_seen_.load(); }

 private:
  bool OpenPort();
  void ToApplication();
  void ToPort();
  bool StopSeen();
  void LeavePort();

  // pty_bridge_control.cpp: the slave's state on the port.
  void Follow(const MasterEvents& events, const termios* settings, std::string& input,
              bool input_came);
  void ApplySettings(const termios& settings);
  void Send(const SerialRequest& request);
  void SlaveOpened();
  void SlaveClosed();
  void SessionEnded();
  bool OutputDrained();
  void WatchCarrier(DWORD modem_status);
  void RefreshLines(DWORD seen);

  ke::Kernel& machine_;
  std::string link_;
  std::u16string port_name_;
  std::unique_ptr<PtyMaster> master_;
  std::string error_;
  std::atomic<bool> stop_{false};
  std::atomic<int> threads_started_{0};
  std::atomic<int> threads_ended_{0};
  std::atomic<int> threads_leaving_{0};
  std::atomic<int> threads_left_{0};
  HANDLE port_ = 0;
  std::atomic<int> closes_seen_{0};

  // Below only the bridge's two threads, one at a time, outside their host calls.
  termios applied_{};  // the settings the port has
  bool have_applied_ = false;
  bool slave_open_ = false;
  std::vector<SerialRequest> hangup_;  // DTR and RTS drops waiting for the output to drain
  bool drop_output_ = false;           // pty-out drops what it holds for the application
  bool carrier_ = false;
  std::uint64_t renewals_ = 0;  // pairs renewed on carrier loss
  std::string lines_;
  std::uint64_t lines_version_ = 0;
};

}  // namespace plat::pty
