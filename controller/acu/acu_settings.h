// The controller's settings and call variables, one of each per machine.
// The S-registers start at their factory values; the command sets, the
// stored profiles and the registry loads that set the rest come with their
// own code and add their fields here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxctl {

inline constexpr std::size_t kSRegisterCount = 120;

// Register numbers and option bits the built code reads.
inline constexpr std::size_t kSLineEnd = 3;   // S3: end of lines and responses
inline constexpr std::size_t kSLineFeed = 4;  // S4: line feed of responses
inline constexpr std::size_t kSOptions = 14;  // S14: E, Q, V, P/T, originate
inline constexpr std::size_t kSReports = 22;  // S22: L, M, X, &P
inline constexpr std::uint8_t kS14Quiet = 1u << 2;          // Q1: no result codes
inline constexpr std::uint8_t kS14Verbose = 1u << 3;        // V1: text results
inline constexpr std::uint8_t kS22DialToneDetect = 1u << 4;  // X2, X4: wait for dial tone
inline constexpr std::uint8_t kS22BusyDetect = 1u << 5;      // X3, X4: busy detection
inline constexpr std::uint8_t kS22ExtendedResults = 1u << 6;  // X1-X4, X7

// The factory value of every S-register that has one.
inline constexpr std::array<std::uint8_t, kSRegisterCount> kSRegisterFactory = [] {
  std::array<std::uint8_t, kSRegisterCount> s{};
  s[2] = 43;
  s[3] = 13;
  s[4] = 10;
  s[5] = 8;
  s[6] = 2;
  s[7] = 60;
  s[8] = 2;
  s[9] = 6;
  s[10] = 14;
  s[11] = 70;
  s[12] = 50;
  s[14] = 138;
  s[21] = 48;
  s[22] = 118;
  s[23] = 48;
  s[25] = 5;
  s[26] = 1;
  s[27] = 64;
  s[32] = 32;
  s[33] = 10;
  return s;
}();

struct AcuSettings {
  std::array<std::uint8_t, kSRegisterCount> s = kSRegisterFactory;

  // The V.250 report switches (+MR, +ER, +DR, +ILRR; W sets them too).
  std::uint8_t report_modulation = 0;
  std::uint8_t report_error_control = 0;
  std::uint8_t report_compression = 0;
  std::uint8_t report_dte_rate = 0;

  std::uint32_t dte_rate = 19200;   // bit/s (+IPR)
  std::uint8_t ms_carrier = 23;     // +MS carrier code: the highest modulation allowed
  std::uint8_t v92_enabled = 1;     // +MS=V92
  std::uint8_t v92_upstream = 1;    // +PIG: upstream PCM

  // Registry feature switches read at start: "V34AuxChEnable" and
  // "v92rptopt" (bit 0: the V.92 report follows the upstream flag).
  std::uint8_t v34_aux_channel = 0;
  std::uint8_t v92_report_option = 0;
};

// Link kinds of a call.
inline constexpr std::uint8_t kLinkBuffered = 0;
inline constexpr std::uint8_t kLinkDirect = 1;
inline constexpr std::uint8_t kLinkErrorControl = 2;
inline constexpr std::uint8_t kLinkV80 = 4;

// Error-control statuses the reports tell apart.
inline constexpr std::uint8_t kEcBuffered = 5;  // buffered mode without error control
inline constexpr std::uint8_t kEcLapm = 6;      // LAPM data phase

// The controller's variables of the current call.
struct AcuCallState {
  std::uint8_t call_mode = 0;  // 0 asynchronous, 1-3 synchronous, +4 with S27 bit 3
  std::uint8_t link_kind = kLinkErrorControl;
  std::uint8_t ec_status = 0;     // the error-control manager's last status
  std::uint8_t v80_selected = 0;  // V.80 synchronous access selected for the call
  // The text the voice service fills for result codes 254 and 255.
  const char* voice_message = "";
};

AcuSettings& acu_settings();
AcuCallState& acu_call();

}  // namespace vxctl
