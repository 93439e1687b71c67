#include "app/options.h"

#include <cmath>
#include <cstdlib>

namespace vxmodem {

Parsed ParseOptions(const std::vector<std::string>& arguments) {
  Parsed parsed;
  Options& o = parsed.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= arguments.size()) {
        parsed.error = a + " needs a value";
        return false;
      }
      into = arguments[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--realtime") {
      o.realtime = true;
    } else if (a == "--hive") {
      if (!value(o.hive_file)) return parsed;
    } else if (a == "--state") {
      if (!value(o.state_file)) return parsed;
    } else if (a == "--trace") {
      if (!value(o.trace_file)) return parsed;
    } else if (a == "--seconds") {
      std::string text;
      if (!value(text)) return parsed;
      char* end = nullptr;
      o.seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !std::isfinite(o.seconds) || o.seconds < 0 ||
          o.seconds > 1e6) {
        parsed.error = "--seconds wants a number of seconds from 0 to 1000000, not '" + text + "'";
        return parsed;
      }
    } else {
      parsed.error = "unknown argument '" + a + "'";
      return parsed;
    }
  }
  return parsed;
}

}  // namespace vxmodem
