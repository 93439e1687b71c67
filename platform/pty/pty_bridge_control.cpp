// The bridge's pty-in thread following the slave (settings, opens and
// closes, flushes) on the port, and the modem lines both threads watch.
#include <cstring>
#include <string>

#include "platform/ke/runmode.h"
#include "platform/pty/pty_bridge.h"
#include "platform/win32/comm.h"
#include "platform/win32/files.h"

namespace plat::pty {
namespace {

bool Drops(ULONG code) { return code == IOCTL_SERIAL_CLR_DTR || code == IOCTL_SERIAL_CLR_RTS; }
bool Raises(ULONG code) { return code == IOCTL_SERIAL_SET_DTR || code == IOCTL_SERIAL_SET_RTS; }

}  // namespace

void PtyBridge::Follow(const MasterEvents& events, const termios* settings, std::string& input,
                       bool input_came) {
  // A close is taken before the settings (those of a closed slave raise
  // no DTR), an open after them (DTR rises with the settings in force).
  const bool opened = events.slave_open && !slave_open_;
  if (!events.slave_open && slave_open_) SlaveClosed();
  if (settings != nullptr) ApplySettings(*settings);
  if (opened) SlaveOpened();
  if (events.flush_read) PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  // The bytes already read from the master stay: a pseudo-terminal cannot
  // report tcdrain, so a program that drained its output and then flushed
  // (as file transfer programs do on their way out) counts them as sent.
  if (events.flush_write) PurgeComm(port_, PURGE_TXABORT | PURGE_TXCLEAR);
  // DTR (and RTS) drop once what the application wrote before has left.
  if (!hangup_.empty() && input.empty() && !input_came && OutputDrained()) {
    for (const SerialRequest& request : hangup_) Send(request);
    hangup_.clear();
  }
}

void PtyBridge::ApplySettings(const termios& settings) {
  const std::vector<SerialRequest> requests =
      have_applied_ ? TermiosRequests(applied_, settings) : SettingsRequests(settings);
  applied_ = settings;
  have_applied_ = true;
  for (const SerialRequest& request : requests) {
    if (Drops(request.code)) {
      hangup_.push_back(request);
    } else if (Raises(request.code)) {
      hangup_.clear();
      if (slave_open_) Send(request);  // a closed slave keeps DTR down until it opens
    } else {
      Send(request);
    }
  }
}

void PtyBridge::Send(const SerialRequest& request) {
  std::vector<std::uint8_t> input = request.input;
  DWORD returned = 0;
  if (request.code == IOCTL_SERIAL_SET_CHARS) {
    // Only XON and XOFF come from the terminal: the port keeps its other characters.
    SERIAL_CHARS port_chars{};
    SERIAL_CHARS wanted{};
    std::memcpy(&wanted, input.data(), sizeof wanted);
    if (DeviceIoControl(port_, IOCTL_SERIAL_GET_CHARS, nullptr, 0, &port_chars, sizeof port_chars,
                        &returned, nullptr)) {
      port_chars.XonChar = wanted.XonChar;
      port_chars.XoffChar = wanted.XoffChar;
      std::memcpy(input.data(), &port_chars, sizeof port_chars);
    }
  }
  DeviceIoControl(port_, request.code, input.empty() ? nullptr : input.data(),
                  static_cast<DWORD>(input.size()), nullptr, 0, &returned, nullptr);
  if (Drops(request.code) || Raises(request.code)) {
    DWORD seen = 0;
    GetCommModemStatus(port_, &seen);
    RefreshLines(seen);
  }
}

// A Linux open: what waits for the application from before is dropped, on
// the port and in the slave, and DTR rises (unless the speed is B0).
void PtyBridge::SlaveOpened() {
  // A carrier drop before the open (a hang-up at the last close) is not
  // this session's.
  DWORD modem_status = 0;
  GetCommModemStatus(port_, &modem_status);
  carrier_ = (modem_status & MS_RLSD_ON) != 0;
  PurgeComm(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  ke::ExternalCall([&] { master_->PurgeStale(); });
  // Set together, after the purges: pty-out drops whatever it read before
  // them, and writes nothing while the slave counts as closed.
  drop_output_ = true;
  slave_open_ = true;
  hangup_.clear();
  if (cfgetospeed(&applied_) != B0) Send({IOCTL_SERIAL_SET_DTR, {}});
}

// The last close: what the modem sent that nobody read is dropped, and the
// session ends.
void PtyBridge::SlaveClosed() {
  slave_open_ = false;
  ke::ExternalCall([&] { master_->PurgeStale(); });
  SessionEnded();
}

// DTR drops under HUPCL once the output drained.
void PtyBridge::SessionEnded() {
  slave_open_ = false;
  if (applied_.c_cflag & HUPCL) hangup_.assign({{IOCTL_SERIAL_CLR_DTR, {}}});
  ++closes_seen_;
}

bool PtyBridge::OutputDrained() {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(port_, &errors, &status) && status.cbOutQue == 0;
}

// Carrier lost while someone has the slave open and CLOCAL is clear: the
// application reads end of file and a new pseudo-terminal takes the link.
void PtyBridge::WatchCarrier(DWORD modem_status) {
  const bool carrier = (modem_status & MS_RLSD_ON) != 0;
  const bool lost = carrier_ && !carrier;
  carrier_ = carrier;
  RefreshLines(modem_status);
  if (!lost || !slave_open_ || (applied_.c_cflag & CLOCAL)) return;
  bool renewed = false;
  ke::ExternalCall([&] { renewed = master_->Renew(); });
  if (!renewed) {
    error_ = master_->error();
    Stop();
    return;
  }
  ++renewals_;
  // The session ended with the old pair, whoever opens the new one. The new
  // pair holds nothing stale, and purging it would open its slave while
  // pty-in reads the master (a read that would see an open nobody made).
  SessionEnded();
}

// The status file: DTR and RTS as the port drives them, the others as it
// sees them (`seen`, its modem status).
void PtyBridge::RefreshLines(DWORD seen) {
  DWORD returned = 0;
  ULONG driven = 0;
  DeviceIoControl(port_, IOCTL_SERIAL_GET_DTRRTS, nullptr, 0, &driven, sizeof driven, &returned,
                  nullptr);
  const auto bit = [](bool on) { return on ? "1" : "0"; };
  std::string line = std::string("DTR=") + bit(driven & SERIAL_DTR_STATE) +
                     " RTS=" + bit(driven & SERIAL_RTS_STATE) + " CTS=" + bit(seen & MS_CTS_ON) +
                     " DSR=" + bit(seen & MS_DSR_ON) + " DCD=" + bit(seen & MS_RLSD_ON) +
                     " RI=" + bit(seen & MS_RING_ON);
  if (line == lines_) return;
  lines_ = line;
  const std::uint64_t version = ++lines_version_;
  ke::ExternalCall([&] { master_->WriteLines(line, version); });
}

}  // namespace plat::pty
