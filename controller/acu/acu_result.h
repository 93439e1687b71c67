// Result codes: the final and intermediate codes of the command
// interpreter, in text (V1) or as numbers (V0), and the connect report.
#pragma once

#include <cstdint>

namespace vxctl {

// Reports result code `code` (0-39, 254 and 255 the voice message text)
// after flushing pending output. Nothing is sent with Q1 or for code 21;
// a code without a row (40-253) sends nothing either.
//
// Code 20 is the connect report: "CONNECT" alone with X0; otherwise, with
// V1 outside call mode 4, the enabled intermediate reports (+MCR, +MRR,
// +MSCR, +ER, +DR, +ILRR) each on a line of its own, then "CONNECT <receive
// rate>", always as text.
void acu_report_result(std::uint8_t code);

}  // namespace vxctl
