#include "controller/acu/acu_print.h"

#include <cstring>

#include "controller/acu/acu_format.h"

namespace vxctl {
namespace {

class Writer {
 public:
  explicit Writer(std::span<char> out) : out_(out) {}
  bool Put(char c) {
    if (length_ + 1 >= out_.size()) return false;
    out_[length_++] = c;
    return true;
  }
  bool Put(const char* text) {
    for (; *text != '\0'; ++text) {
      if (!Put(*text)) return false;
    }
    return true;
  }
  std::size_t Finish() {
    if (!out_.empty()) out_[length_] = '\0';
    return length_;
  }

 private:
  std::span<char> out_;
  std::size_t length_ = 0;
};

// The text of one conversion of `word`, into `text`.
void Convert(char conversion, unsigned width, std::uintptr_t word, char (&text)[72]) {
  const auto value = static_cast<std::uint32_t>(word);
  const std::uint32_t padding = width << 8;
  text[0] = '\0';
  switch (conversion) {
    case 'd': acu_fmt_number(static_cast<std::int32_t>(value), text, 10 | padding); break;
    case 'x': acu_fmt_number(static_cast<std::int32_t>(value), text, 16 | padding); break;
    case 'b': acu_fmt_number(static_cast<std::int32_t>(value), text, 2 | padding); break;
    case 'o': acu_fmt_hex_word(value, text); break;  // "%0x"
    default: text[0] = static_cast<char>(value); text[1] = '\0'; break;  // 'c'
  }
}

}  // namespace

AcuPrintResult FormatPrint(std::span<char> out, const char* format,
                           std::span<const std::uintptr_t> args) {
  Writer writer(out);
  std::size_t next_arg = 0;
  bool cut = false;
  for (const char* p = format; *p != '\0' && !cut;) {
    if (*p != '%') {
      cut = !writer.Put(*p++);
      continue;
    }
    ++p;
    char conversion;
    unsigned width = 0;
    if (p[0] == '0' && p[1] == 'x') {
      conversion = 'o';
      p += 2;
    } else {
      for (int i = 0; i < 2 && *p >= '1' && *p <= '9'; ++i) width = width * 10 + unsigned(*p++ - '0');
      conversion = *p;
      if (conversion == '\0') break;
      ++p;
      if (std::strchr("dxbsc", conversion) == nullptr) continue;  // directive dropped
    }
    if (next_arg == args.size()) {
      cut = true;
      break;
    }
    const std::uintptr_t word = args[next_arg++];
    if (conversion == 's') {
      const auto* text = reinterpret_cast<const char*>(word);
      cut = text != nullptr && !writer.Put(text);
    } else {
      char text[72];
      Convert(conversion, width, word, text);
      cut = conversion == 'c' ? !writer.Put(text[0]) : !writer.Put(text);
    }
  }
  return {writer.Finish(), cut};
}

}  // namespace vxctl
