// Kind ToneString: tone characters, empty elements, bracket groups
// [f1,f2,d] and brace groups {c,d}, as u16 items (item codes below).
#include <cstring>

#include "controller/acu/at_arguments.h"

namespace vxctl {
namespace {

enum ToneItem : std::uint16_t {
  kEnd = 0,
  kEmpty = 1,
  kTone = 2,
  kNoToneGroup = 3,
  kBraceTone = 4,
  kBraceDuration = 5,
  kFirstFrequency = 7,
  kSecondFrequency = 8,
  kBracketDuration = 9,
  kNoDuration = 255,
};

// Items before the closing zero; the zero may be the 40th.
constexpr std::uint8_t kMaxItems = 39;

bool IsToneCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || (c != '\0' && std::strchr("*#!", c));
}

class ToneStringParser {
 public:
  ToneStringParser(const char*& cursor, AtArgumentBuffer& buffer)
      : cursor_(cursor), buffer_(buffer) {}

  bool Parse() {
    bool after_element = false;  // a tone character or a group came last
    for (;; ++cursor_) {
      const char c = *cursor_;
      if (c == '\0' || c == ';') return buffer_.Put(2, kEnd);
      bool ok = true;
      if (IsToneCharacter(c)) {
        ok = Item(kTone) && Item(static_cast<std::uint8_t>(c));
        after_element = true;
      } else if (c == ',') {
        ok = after_element || Item(kEmpty);
        after_element = false;
      } else if (c == '[') {
        ok = Bracket();
        after_element = true;
      } else if (c == '{') {
        ok = Brace();
        after_element = true;
      } else {
        ok = false;
      }
      if (!ok) return false;
    }
  }

 private:
  bool Item(std::uint32_t value) {
    return buffer_.element < kMaxItems && buffer_.Put(2, value);
  }

  // A number of at most 65535 at the cursor, left on its last digit.
  bool Number(std::uint32_t& value) {
    std::uint32_t accumulated = 0;
    for (; cursor_[1] >= '0' && cursor_[1] <= '9'; ++cursor_) {
      accumulated = accumulated * 10 + static_cast<unsigned>(cursor_[0] - '0');
      if (accumulated > 0xFFFF) return false;
    }
    accumulated = accumulated * 10 + static_cast<unsigned>(cursor_[0] - '0');
    value = accumulated;
    return accumulated <= 0xFFFF;
  }

  // [f1,f2,d]: entered on '[', left on ']'.
  bool Bracket() {
    unsigned commas = 0;
    bool frequency = false, second = false, duration = false;
    for (++cursor_;; ++cursor_) {
      const char c = *cursor_;
      if (c >= '0' && c <= '9') {
        std::uint32_t value = 0;
        if (!Number(value)) return false;
        if (commas == 0) {
          if (frequency || !(Item(kFirstFrequency) && Item(value))) return false;
          frequency = true;
        } else if (commas == 1) {
          if (second || !(Item(kSecondFrequency) && Item(value))) return false;
          frequency = second = true;
        } else {
          if (duration || !(Item(kBracketDuration) && Item(value))) return false;
          duration = true;
        }
      } else if (c == ',') {
        if (++commas == 3) return false;
      } else if (c == ']') {
        if (commas == 1 && !second) return false;  // [,] and [f1,]
        return Close(frequency, duration);
      } else {
        return false;
      }
    }
  }

  // {c,d}: entered on '{', left on '}'.
  bool Brace() {
    bool comma = false, tone = false, duration = false;
    for (++cursor_;; ++cursor_) {
      const char c = *cursor_;
      if (!comma && !tone && IsToneCharacter(c)) {
        if (!(Item(kBraceTone) && Item(static_cast<std::uint8_t>(c)))) return false;
        tone = true;
      } else if (comma && !duration && c >= '0' && c <= '9') {
        std::uint32_t value = 0;
        if (!Number(value) || !(Item(kBraceDuration) && Item(value))) return false;
        duration = true;
      } else if (c == ',' && !comma) {
        comma = true;
      } else if (c == '}') {
        return Close(tone, duration);
      } else {
        return false;
      }
    }
  }

  bool Close(bool tone, bool duration) {
    if (!tone) return Item(kNoToneGroup);
    return duration || Item(kNoDuration);
  }

  const char*& cursor_;
  AtArgumentBuffer& buffer_;
};

}  // namespace

bool ParseAtToneString(const char*& cursor, AtArgumentBuffer& buffer) {
  return ToneStringParser(cursor, buffer).Parse();
}

}  // namespace vxctl
