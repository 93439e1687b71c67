// The default hive: the text of default_hive.txt in this folder, built in.
#pragma once

#include <string_view>

namespace plat::machine {

std::string_view DefaultHive();

}  // namespace plat::machine
