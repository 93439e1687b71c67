// The command tables the stand-ins fill: the first basic table with the
// two information commands the controller core's reports give (ATI6, the
// data pump's version; ATI20, the connection status), and the four fax
// tables with the least a data-only modem answers: "+FCLASS=" takes 0
// only, "+FCLASS?" and "+FCLASS=?" answer "0". The basic commands and the
// fax services replace them.
#include "controller/acu/acu_command_tables.h"
#include "controller/acu/acu_response.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/at_parser.h"
#include "layer2/corecode/mt/modem/status_reports.h"

namespace vxctl {
namespace {

void PrintDspVersion(AtParser&, const std::uint8_t*) { ModemTask_PrintDspVersion(); }

void PrintConnectionStatus(AtParser&, const std::uint8_t*) {
  ModemTask_PrintConnectionStatus((acu_settings().s[kSOptions] & kS14Verbose) != 0 ? 1 : 0);
}

void SetClass(AtParser& parser, const std::uint8_t* argument) {
  if (argument[0] != 0) parser.error_flag = 1;
}

void AnswerClass(AtParser&, const std::uint8_t*) { acu_send_response("0", AcuFraming::Framed); }

}  // namespace

constexpr at_command_entry acu_basic_table1[] = {
    {"I20", PrintConnectionStatus, AtArgumentKind::None, 0},
    {"I6", PrintDspVersion, AtArgumentKind::None, 0},
    kAtTableEnd,
};

constexpr at_command_entry fax_common_table[] = {
    {"+FCLASS=?", AnswerClass, AtArgumentKind::None, AtEntryFlag::RequireSeparator},
    {"+FCLASS?", AnswerClass, AtArgumentKind::None, AtEntryFlag::RequireSeparator},
    {"+FCLASS=", SetClass, AtArgumentKind::Decimal8, AtEntryFlag::SkipSeparator},
    kAtTableEnd,
};
constexpr at_command_entry fax_class1_table[] = {kAtTableEnd};
constexpr at_command_entry fax_class2_table[] = {kAtTableEnd};
constexpr at_command_entry fax_class20_table[] = {kAtTableEnd};

}  // namespace vxctl
