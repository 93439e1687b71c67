// The loads that put the controller's saved settings in place: the port
// configuration's at its start, and the controller start-up's each time
// the controller initialises (every port open).
#pragma once

namespace vxctl {

// The EEPROM image and the features, built-in record 0 with the default
// country entry, then the country list and the country.
void reg_load_configuration();
// The configuration's loads, then the hook-flash method and the GPIO reset
// byte.
void reg_load_startup();

}  // namespace vxctl
