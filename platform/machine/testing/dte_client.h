// The terminal side of a serial port, for tests: it runs on an emulated user
// thread of a machine and reaches the port only through the user-mode calls.
//
//   sim.RunUserThread(machine.kernel(), "dte", [&] {
//     plat::testing::DteClient dte(u"COM1");
//     ASSERT_TRUE(dte.ok());
//     dte.Send("AT\r");
//     EXPECT_TRUE(dte.Expect("OK\r\n", 2 * plat::hal::kSecond));
//     dte.SetDtr(false);
//   });
//
// Expect and ReadLine wait in virtual time: they read with the time-outs
// {MAXDWORD, MAXDWORD, the time left}, which return what has arrived or wait
// for the first byte; they leave those time-outs set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/comm.h"

namespace plat::testing {

class DteClient {
 public:
  // Opens "\\.\<port>".
  explicit DteClient(std::u16string_view port);
  ~DteClient();
  DteClient(const DteClient&) = delete;
  DteClient& operator=(const DteClient&) = delete;

  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE handle() const { return handle_; }

  bool SetTimeouts(COMMTIMEOUTS timeouts) { return SetCommTimeouts(handle_, &timeouts); }
  std::optional<COMMTIMEOUTS> Timeouts() const;
  // Writes all of `text`.
  bool Send(std::string_view text);
  // Reads until `text` has arrived (true; what follows it stays unread) or
  // `within_ns` of virtual time has passed (false).
  bool Expect(std::string_view text, std::uint64_t within_ns);
  // The next line without its end ("\r\n", "\r" or "\n"); empty lines are
  // passed over; nullopt when none is complete within `within_ns`.
  std::optional<std::string> ReadLine(std::uint64_t within_ns);
  bool SetDtr(bool on) { return EscapeCommFunction(handle_, on ? SETDTR : CLRDTR); }
  bool SetRts(bool on) { return EscapeCommFunction(handle_, on ? SETRTS : CLRRTS); }
  std::optional<DWORD> ModemStatus() const;
  // Everything read so far, in order.
  const std::string& transcript() const { return transcript_; }

 private:
  // Reads what arrives before `deadline` (virtual ns) into pending_; false
  // when nothing did.
  bool ReadBefore(std::uint64_t deadline);

  HANDLE handle_;
  std::string pending_;
  std::string transcript_;
};

}  // namespace plat::testing
