#include "app/options.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace vxmodem {
namespace {

// Digits with an optional fraction: no sign, space, exponent or hex.
bool IsDecimal(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view("0") : text.substr(point + 1);
  const auto digits = [](std::string_view part) {
    return !part.empty() &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return digits(whole) && digits(fraction);
}

}  // namespace

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
    } else if (a == "--tty") {
      if (!value(o.tty_path)) return parsed;
      o.realtime = true;
    } else if (a == "--trace") {
      if (!value(o.trace_file)) return parsed;
    } else if (a == "--seconds") {
      std::string text;
      if (!value(text)) return parsed;
      o.seconds = IsDecimal(text) ? std::strtod(text.c_str(), nullptr) : -1;
      if (o.seconds < 0 || o.seconds > 1e6) {
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
