#include "platform/diag/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace plat::diag {

void Fatal(std::string_view rule, std::string_view detail) {
  std::fprintf(stderr, "FATAL [%.*s]: %.*s\n", static_cast<int>(rule.size()), rule.data(),
               static_cast<int>(detail.size()), detail.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace plat::diag
