#include "controller/acu/at_parser.h"

namespace vxctl {

void AtRemoveSpaces(char* text) {
  bool quoted = false;
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in == '"') quoted = !quoted;
    if (*in == ' ' && !quoted) continue;
    *out++ = *in;
  }
  *out = '\0';
}

void AtUpperCase(char* text) {
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == '"') {
      char* closing = p + 1;
      while (*closing != '\0' && *closing != '"') ++closing;
      if (*closing == '"') {
        p = closing;
        continue;
      }
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
}

}  // namespace vxctl
