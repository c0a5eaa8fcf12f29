// dictaloctl: the command line for scripts and diagnostics. Every command runs the
// same code as the program.

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "ctl/cert_command.h"
#include "ctl/compose_command.h"
#include "ctl/outbox_command.h"
#include "ctl/record_command.h"
#include "ctl/send_command.h"
#include "ctl/registry_command.h"
#include "ctl/settings_command.h"
#include "ctl/tls_probe_command.h"
#include "platform/text.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: dictaloctl [-profile FILE] COMMAND ...\n"
         "commands:\n"
         "  settings list | get KEY | set KEY VALUE\n"
         "  reg export KEY | reg import FILE\n"
         "  cert verify HOST CHAIN.pem [--trust FILE] | cert import FILE | cert list | cert remove N\n"
         "  tls-probe HOST PORT [--versions MASK] [--strong] [--trust FILE] [--trace] [--starttls smtp|pop3]\n"
         "  compose --from ADDR --to ADDR [--cc ADDR] --subject TEXT [--text TEXT] [--charset NAME] FILE...\n"
         "  record [--seconds N] [--save]\n"
         "  send FILE [--save]\n"
         "  outbox list | resend | delete N | delete-all | save N PATH | convert files|activesync\n"
         "  test-account\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::u16string profile;
  // "-profile FILE" works as in dictalo: the value goes through the same parser.
  while (!args.empty() && (args[0] == "-profile" || args[0] == "--profile")) {
    if (args.size() < 2) {
      PrintUsage(std::cerr);
      return 2;
    }
    profile = app::ParseCommandLine(app::JoinArguments({"-profile", args[1]})).profile;
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(args.empty() ? std::cerr : std::cout);
    return args.empty() ? 2 : 0;
  }
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "settings") return ctl::RunSettingsCommand(profile, rest, std::cout, std::cerr);
  if (command == "reg") return ctl::RunRegistryCommand(rest, std::cout, std::cerr);
  if (command == "cert") return ctl::RunCertCommand(rest, std::cout, std::cerr);
  if (command == "tls-probe") return ctl::RunTlsProbeCommand(rest, std::cout, std::cerr);
  if (command == "record") return ctl::RunRecordCommand(profile, rest, std::cout, std::cerr);
  if (command == "send") return ctl::RunSendCommand(profile, rest, std::cout, std::cerr);
  if (command == "outbox") return ctl::RunOutboxCommand(profile, rest, std::cout, std::cerr);
  if (command == "test-account") return ctl::RunTestAccountCommand(profile, rest, std::cout, std::cerr);
  if (command == "compose") return RunComposeCommand(rest, std::cout, std::cerr);
  std::cerr << "dictaloctl: unknown command \"" << command << "\"\n";
  PrintUsage(std::cerr);
  return 2;
}
