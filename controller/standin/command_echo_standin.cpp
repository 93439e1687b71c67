// The stand-in's task-thread entries. acu_init: the start-up's registry
// loads, the line services' start, the modem task's reset and the running
// byte. acu_run, the controller pass: the timer service, the line
// services' poll, the modem task's step, and a terminal's answers: every
// character from the command ring is echoed, and a line (ended by CR) that
// starts with "AT" is answered with OK, any other with ERROR; "ATI6" (the
// data pump's version) and "ATI20" (the connection status) print their
// report before the OK. Kept apart from the other entries because they
// reach the DTE interface and the modem task, which only programs running
// the task thread link.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/status_reports.h"
#include "layer2/corecode/mt/registry/startup_loads.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kError[] = "\r\nERROR\r\n";

void Answer(const char* text) {
  while (*text != 0) dte_cmd_to_char(static_cast<std::uint8_t>(*text++));
}

bool StartsWithAt(const CommandInterpreterStandin& standin) {
  return standin.line_length >= 2 && std::toupper(standin.line_start[0]) == 'A' &&
         std::toupper(standin.line_start[1]) == 'T';
}

// The information commands the stand-in answers with a report.
bool LineIs(const CommandInterpreterStandin& standin, std::string_view command) {
  return standin.line_length == command.size() &&
         std::equal(command.begin(), command.end(), standin.line_start,
                    [](char a, char b) { return a == std::toupper(b); });
}

void RunInformation(const CommandInterpreterStandin& standin) {
  if (LineIs(standin, "ATI6")) ModemTask_PrintDspVersion();
  if (LineIs(standin, "ATI20")) {
    ModemTask_PrintConnectionStatus((acu_settings().s[kSOptions] & kS14Verbose) != 0 ? 1 : 0);
  }
}

void TakeCommandCharacters(CommandInterpreterStandin& standin) {
  while (dte_cmd_from_count() != 0) {
    const std::uint8_t c = dte_cmd_from_char();
    dte_cmd_to_char(c);
    if (c == '\r') {
      RunInformation(standin);
      Answer(StartsWithAt(standin) ? kOk : kError);
      standin.line_length = 0;
      continue;
    }
    if (standin.line_length < sizeof standin.line_start) {
      standin.line_start[standin.line_length] = static_cast<char>(c);
    }
    ++standin.line_length;
  }
}

}  // namespace

void acu_init() {
  CommandInterpreterStandin& standin = MachineState<CommandInterpreterStandin>();
  reg_load_startup();
  LS_init();
  std::uint8_t link_level = 0;
  ModemTask_Reset(link_level);
  standin.inits.fetch_add(1);
  standin.init_thread.store(KeGetCurrentThread());
  standin.running.store(1);
}

void acu_run() {
  CommandInterpreterStandin& standin = MachineState<CommandInterpreterStandin>();
  acu_timer_service();
  LS_poll();
  ModemTask_Process();
  TakeCommandCharacters(standin);
  standin.passes.fetch_add(1);
}

}  // namespace vxctl
