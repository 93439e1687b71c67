// Hive overrides: a seed text whose keys and values replace or join those of
// another (keys compared without case, values by name without case), so a
// machine's config can change one value of the default hive.
#pragma once

#include <string>
#include <string_view>

namespace plat::machine {

std::string MergeHiveText(std::string_view base, std::string_view overrides);

}  // namespace plat::machine
