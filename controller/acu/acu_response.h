// Responses to the application: texts framed with S3 and S4 written into
// the DTE interface's to-DTE command ring, which the port drains.
//
// A writer fills the ring as far as it has room, waits for it to drain and
// goes on. When a wait gives up (the application stopped reading for 500
// ticks; the ring was emptied) or the port closed, the rest of the text is
// dropped and the response ends there: the writer returns false.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxctl {

// How acu_send_response frames its text ("line end" is S3 then S4, each
// only when not 0).
enum class AcuFraming : std::uint8_t {
  TextLineEnd = 0,  // text, line end
  Framed = 1,       // line end, text, line end
  LineEndText = 2,  // line end, text
  Text = 3,         // text
  Translated = 4,   // text with CR as S3 and LF as S4 (left out when 0)
};

// Flushes pending output, marks the response as started, then sends
// `text` framed by `framing`.
void acu_send_response(const char* text, AcuFraming framing);

bool acu_send_text(const char* text);
// CR is sent as S3 and LF as S4; a register at 0 leaves the character out.
bool acu_send_text_translated(const char* text);
bool acu_send_line_end();

// Waits until the to-DTE ring is empty (or the wait gives up).
void acu_flush_response();
// Flushes, then puts `c` into the ring.
void acu_put_char(char c);

// Formats `format` with the machine's print arguments (acu_dte_format)
// and sends the result translated; returns its length.
std::size_t acu_dte_printf(const char* format);

}  // namespace vxctl
