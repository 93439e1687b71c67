// The configuration's and the controller start-up's loads, in their order.
#include "layer2/corecode/mt/registry/startup_loads.h"

#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/registry/country.h"
#include "layer2/corecode/mt/registry/eeprom.h"
#include "layer2/corecode/mt/registry/features.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/saved_data.h"

namespace vxctl {

void reg_load_configuration() {
  reg_load_eeprom();
  reg_load_features();
  MachineState<LineServicesState>().live_record = CTY_default_record();
  reg_settings().selected_country = kDefaultCountry;
  reg_load_country_list();
  reg_load_country();
}

void reg_load_startup() {
  reg_load_configuration();
  reg_load_hook_flash_method();
  reg_load_gpio3_reset();
}

}  // namespace vxctl
