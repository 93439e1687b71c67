#include "platform/machine/testing/dte_client.h"

#include "platform/ke/kernel.h"

namespace plat::testing {
namespace {

std::uint64_t Now() { return ke::CurrentKernel().Now(); }

}  // namespace

DteClient::DteClient(std::u16string_view port)
    : handle_(CreateFile((u"\\\\.\\" + std::u16string(port)).c_str(), GENERIC_READ | GENERIC_WRITE,
                         0, nullptr, OPEN_EXISTING, 0, 0)) {}

DteClient::~DteClient() {
  if (ok()) CloseHandle(handle_);
}

std::optional<COMMTIMEOUTS> DteClient::Timeouts() const {
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(handle_, &timeouts)) return std::nullopt;
  return timeouts;
}

std::optional<DWORD> DteClient::ModemStatus() const {
  DWORD status = 0;
  if (!GetCommModemStatus(handle_, &status)) return std::nullopt;
  return status;
}

bool DteClient::Send(std::string_view text) {
  DWORD written = 0;
  return WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool DteClient::ReadBefore(std::uint64_t deadline) {
  const std::uint64_t now = Now();
  if (now >= deadline) return false;
  const auto ms = static_cast<DWORD>((deadline - now + 999'999) / 1'000'000);
  COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, ms, 0, 0};
  if (!SetCommTimeouts(handle_, &timeouts)) return false;
  char buffer[256];
  DWORD read = 0;
  if (!ReadFile(handle_, buffer, sizeof buffer, &read, nullptr) || read == 0) return false;
  pending_.append(buffer, read);
  transcript_.append(buffer, read);
  return true;
}

bool DteClient::Expect(std::string_view text, std::uint64_t within_ns) {
  const std::uint64_t deadline = Now() + within_ns;
  for (;;) {
    if (const auto at = pending_.find(text); at != std::string::npos) {
      pending_.erase(0, at + text.size());
      return true;
    }
    if (!ReadBefore(deadline) && Now() >= deadline) return false;
  }
}

std::optional<std::string> DteClient::ReadLine(std::uint64_t within_ns) {
  const std::uint64_t deadline = Now() + within_ns;
  for (;;) {
    const std::size_t start = pending_.find_first_not_of("\r\n");
    if (start != std::string::npos) {
      const std::size_t end = pending_.find_first_of("\r\n", start);
      if (end != std::string::npos) {
        std::string line = pending_.substr(start, end - start);
        pending_.erase(0, end);
        return line;
      }
    }
    if (!ReadBefore(deadline) && Now() >= deadline) return std::nullopt;
  }
}

}  // namespace plat::testing
