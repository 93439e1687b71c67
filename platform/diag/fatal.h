// Fatal diagnostics: a broken rule of the platform (double free, a deadlock,
// a leak at shutdown...) ends the process with a message naming the rule.
#pragma once

#include <string_view>

namespace plat::diag {

[[noreturn]] void Fatal(std::string_view rule, std::string_view detail);

}  // namespace plat::diag
