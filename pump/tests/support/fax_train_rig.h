// Our fax receiver with its own training on a line signal: what the
// training, carrier, interop and hostile-input tests share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pump/context/dsp_context.h"

namespace pump::testing {

struct FaxTrainRun {
  std::vector<std::uint8_t> bytes;  // the framer's data octets
  int carrier_lost = 0;             // DP_FAX_CD packets
  int data_reports = 0;             // status 8 with the carrier bit, as the controller saw it change
  std::vector<std::string> states;  // the fax receive machine's state after each block
};

// Our receiver configured by 0x73 (`config`, receive) on `line`;
// `each_block` runs after every block. `reconfigure_at` (blocks) sends
// 0x73 again with `second_config` there, as a controller does between
// bursts; with `new_call` a full reset (0x60) goes before it, as between
// two calls.
FaxTrainRun FaxTrainReceive(std::uint8_t config, const std::vector<std::int16_t>& line,
                            const std::function<void(DspContext&)>& each_block = {}, int reconfigure_at = -1,
                            std::uint8_t second_config = 0, bool new_call = false);

// The name of the fax receive machine's current state.
std::string FaxTrainState(const DspContext& context);

}  // namespace pump::testing
