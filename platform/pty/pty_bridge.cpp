#include "platform/pty/pty_bridge.h"

#include <string>

#include "platform/ke/runmode.h"
#include "platform/win32/comm.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace plat::pty {
namespace {

constexpr ULONG kReadQueue = 4096;
constexpr ULONG kWriteQueue = 1024;
constexpr DWORD kEvents =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;
// The longest a host call waits, so that a stop is seen soon.
constexpr int kPollMs = 10;
constexpr DWORD kInputChunk = 256;

}  // namespace

PtyBridge::PtyBridge(ke::Kernel& machine, std::string link, std::u16string port)
    : machine_(machine), link_(std::move(link)), port_name_(std::move(port)) {}

bool PtyBridge::Start() {
  master_ = std::make_unique<PtyMaster>(link_);
  if (!master_->ok()) {
    error_ = master_->error();
    return false;
  }
  threads_started_ = 1;
  machine_.CreateUserThread(
      "pty-out",
      [this] {
        if (OpenPort()) {
          ++threads_started_;
          machine_.CreateUserThread(
              "pty-in", [this] { ToPort(); }, nullptr);
          ToApplication();
        }
        ++threads_ended_;
      },
      nullptr);
  return true;
}

bool PtyBridge::OpenPort() {
  const std::u16string name = u"\\\\.\\" + port_name_;
  const HANDLE port =
      CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
  if (port == INVALID_HANDLE_VALUE) {
    error_ = "cannot open the port, error " + std::to_string(GetLastError());
    return false;
  }
  SERIAL_QUEUE_SIZE sizes{kReadQueue, kWriteQueue};
  DWORD returned = 0;
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  if (!DeviceIoControl(port, IOCTL_SERIAL_SET_QUEUE_SIZE, &sizes, sizeof sizes, nullptr, 0,
                       &returned, nullptr) ||
      !SetCommTimeouts(port, &timeouts) || !SetCommMask(port, kEvents)) {
    error_ = "the port refused its settings, error " + std::to_string(GetLastError());
    CloseHandle(port);
    return false;
  }
  port_ = port;
  return true;
}

bool PtyBridge::StopSeen() { return stop_.load(); }

void PtyBridge::ToApplication() {
  std::string pending;
  char buffer[kReadQueue];
  while (!StopSeen()) {
    // What the modem sends while nobody has the slave open is not kept for
    // a later open: an application opening the slave while pty-out holds
    // such bytes must not get them before pty-in sees the open.
    if (drop_output_ || !slave_open_) {
      drop_output_ = false;
      pending.clear();
    }
    if (!pending.empty()) {
      ke::ExternalCall([&] { master_->WriteOutput(pending, kPollMs); });
      continue;
    }
    DWORD got = 0;
    if (ReadFile(port_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      pending.append(buffer, got);
      continue;
    }
    DWORD events = 0;
    if (!WaitCommEvent(port_, &events, nullptr)) continue;  // cancelled: the loop checks the stop
    DWORD lines = 0;
    GetCommModemStatus(port_, &lines);
    DWORD errors = 0;
    ClearCommError(port_, &errors, nullptr);
    WatchCarrier(lines);
  }
  LeavePort();
}

// Each round takes the slave's news (bytes only as far as there is room
// for them, flushes, its settings) and offers what waits to the port; a
// round with nothing taken waits in the master's poll, at most 10 ms.
void PtyBridge::ToPort() {
  Send({IOCTL_SERIAL_CLR_DTR, {}});  // nobody has the slave open yet
  std::string input;
  while (!StopSeen()) {
    MasterEvents events;
    termios settings{};
    bool have_settings = false;
    const std::size_t before = input.size();
    const std::size_t room = before < kInputChunk ? kInputChunk - before : 0;
    ke::ExternalCall([&] {
      events = master_->ReadInput(input, room, kPollMs);
      have_settings = master_->Settings(settings);
    });
    // A read that overlapped pty-out renewing the pair on a carrier loss
    // reports on a pair the bridge does not have as its own: it neither opens
    // nor closes the slave (pty-out closed the ended session) and its flushes
    // are past; its bytes still go to the port.
    if (events.pair != renewals_) events = {.slave_open = slave_open_, .pair = renewals_};
    Follow(events, have_settings ? &settings : nullptr, input, input.size() > before);
    if (input.empty()) continue;
    DWORD written = 0;
    WriteFile(port_, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    input.erase(0, written);
  }
  LeavePort();
  ++threads_ended_;
}

// Each thread on its way out: the other may sit in WaitCommEvent or in a
// WriteFile nothing drains, or be about to enter one, so its requests are
// cancelled until it is on its way out too; the last one out closes the port.
void PtyBridge::LeavePort() {
  ++threads_leaving_;
  while (threads_leaving_ < 2) {
    CancelIoEx(port_, nullptr);
    Sleep(kPollMs);
  }
  if (++threads_left_ == 2) CloseHandle(port_);
}

}  // namespace plat::pty
