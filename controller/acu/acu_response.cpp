#include "controller/acu/acu_response.h"

#include <array>
#include <string_view>

#include "controller/acu/acu_output.h"
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/dte/dte_interface.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCr = 13;
constexpr std::uint8_t kLf = 10;

// What CR and LF become in a translated text: S3 and S4, where 0 drops the
// character (as a line end leaves out a register at 0).
struct LineEndChars {
  std::uint8_t cr;
  std::uint8_t lf;
};

// Fills the ring, waiting for it to drain whenever it is full; false when
// a wait ended without the ring draining (the rest is dropped).
bool Write(std::string_view text, const LineEndChars* translate) {
  std::size_t next = 0;
  while (next < text.size()) {
    for (std::uint32_t room = dte_cmd_to_free(); room != 0 && next < text.size(); ++next) {
      auto c = static_cast<std::uint8_t>(text[next]);
      if (translate != nullptr && c == kCr) {
        c = translate->cr;
      } else if (translate != nullptr && c == kLf) {
        c = translate->lf;
      }
      if (c == 0) continue;
      dte_cmd_to_char(c);
      --room;
    }
    if (next < text.size() && dte_cmd_to_flush() != DteFlushResult::Drained) return false;
  }
  return true;
}

}  // namespace

bool acu_send_text(const char* text) { return Write(text, nullptr); }

bool acu_send_text_translated(const char* text) {
  const AcuSettings& settings = acu_settings();
  const LineEndChars as{settings.s[kSLineEnd], settings.s[kSLineFeed]};
  return Write(text, &as);
}

bool acu_send_line_end() {
  const AcuSettings& settings = acu_settings();
  std::array<char, 2> line_end{};
  std::size_t length = 0;
  for (std::size_t reg : {kSLineEnd, kSLineFeed}) {
    if (settings.s[reg] != 0) line_end[length++] = static_cast<char>(settings.s[reg]);
  }
  return Write(std::string_view(line_end.data(), length), nullptr);
}

void acu_flush_response() { dte_cmd_to_flush(); }

void acu_put_char(char c) {
  acu_flush_response();
  dte_cmd_to_char(static_cast<std::uint8_t>(c));
}

void acu_send_response(const char* text, AcuFraming framing) {
  acu_flush_response();
  acu_output().response_started = 1;
  switch (framing) {
    case AcuFraming::TextLineEnd:
      if (acu_send_text(text)) acu_send_line_end();
      break;
    case AcuFraming::Framed:
      if (acu_send_line_end() && acu_send_text(text)) acu_send_line_end();
      break;
    case AcuFraming::LineEndText:
      if (acu_send_line_end()) acu_send_text(text);
      break;
    case AcuFraming::Text:
      acu_send_text(text);
      break;
    case AcuFraming::Translated:
      acu_send_text_translated(text);
      break;
  }
}

std::size_t acu_dte_printf(const char* format) {
  const std::size_t length = acu_dte_format(format);
  acu_send_response(acu_output().print.data(), AcuFraming::Translated);
  return length;
}

}  // namespace vxctl
