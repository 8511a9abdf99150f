#include "app/program_switches.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace {

// The program's switches, as CSettings and main look them up.
constexpr std::u16string_view kProgramSwitches[] = {u"log", u"noshow", u"stop", u"bulldoze", u"simulate",
                                                    u"-simulate"};
constexpr std::u16string_view kUsageSwitches[] = {u"h", u"help", u"-help", u"?"};

// Qt's own options (QGuiApplication and QApplication, the X11 ones
// included), each with or without a value to take.
struct QtOption {
  std::u16string_view name;
  bool takes_value;
};
constexpr QtOption kQtOptions[] = {
    {u"platform", true},      {u"platformpluginpath", true}, {u"platformtheme", true}, {u"plugin", true},
    {u"qwindowgeometry", true}, {u"qwindowicon", true},       {u"qwindowtitle", true},  {u"session", true},
    {u"display", true},       {u"geometry", true},           {u"name", true},          {u"style", true},
    {u"stylesheet", true},    {u"qmljsdebugger", true},      {u"dialogs", true},       {u"fontengine", true},
    {u"reverse", false},      {u"widgetcount", false},       {u"nograb", false},       {u"dograb", false},
    {u"sync", false},         {u"testability", false},
};

bool Contains(std::span<const std::u16string_view> names, std::u16string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Qt reads "--platform" as "-platform"; never "/platform".
const QtOption* FindQtOption(std::u16string_view token, std::u16string_view name) {
  if (token.front() != u'-') return nullptr;
  if (token.starts_with(u"--")) name.remove_prefix(1);
  for (const QtOption& option : kQtOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

SwitchCheck CheckProgramSwitches(std::span<const char* const> arguments) {
  SwitchCheck check;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == nullptr) continue;
    const std::u16string token = platform::Utf8ToUtf16(arguments[i]);
    const std::optional<CommandLine::Argument> argument = CommandLine::ParseToken(token);
    if (!argument) continue;
    if (Contains(kUsageSwitches, argument->name)) return {SwitchRequest::kUsage, {}};
    if (!argument->name.empty() && Contains(kProgramSwitches, argument->name)) continue;
    if (!argument->name.empty()) {
      if (const QtOption* option = FindQtOption(token, argument->name)) {
        // "-style fusion": the value is the next argument, whatever it looks
        // like ("-stylesheet /home/me/a.qss"); "-style=fusion" holds its own.
        const bool value_inside = token.find_first_of(u":=") != std::u16string::npos;
        if (option->takes_value && !value_inside) ++i;
        continue;
      }
    }
    if (check.request == SwitchRequest::kRun) check = {SwitchRequest::kUnknown, arguments[i]};
  }
  return check;
}

bool WantsSimulation(const CommandLine& command_line) {
  return command_line.Has(u"simulate") || command_line.Has(u"-simulate");
}

std::string SimulatedCardClass(const CommandLine& command_line) {
  std::optional<std::u16string> value = command_line.Value(u"simulate");
  if (!value) value = command_line.Value(u"-simulate");
  return value ? platform::Utf16ToUtf8(*value) : std::string();
}

std::string ProgramUsage() {
  return "usage: vombel-connect [-log] [-noshow] [--simulate[=CLASS]]\n"
         "       vombel-connect -stop | -bulldoze\n"
         "\n"
         "  -log        write a log to $TMPDIR/Vombel Connect.txt\n"
         "  -noshow     start hidden; a second start brings the window forward\n"
         "  -stop       stop the running Vombel Connect\n"
         "  -bulldoze   stop it and delete the stored settings\n"
         "  --simulate[=CLASS]\n"
         "              run on a simulated data card (nothing else needs to be installed):\n"
         "              CLASS is 3g (the default), gprs, techsel, stack3, 0e00 or composite;\n"
         "              the window's menu has \"Simulated card...\" to make it roam, lose\n"
         "              signal, receive a message or be pulled\n"
         "  -h, --help, /?\n"
         "              print this text\n"
         "\n"
         "Switches start with \"-\" or \"/\". Qt's own options (-platform NAME, -style NAME, ...)\n"
         "pass on to Qt. Without -log the trace goes to the systemd journal\n"
         "(journalctl -t vombel-connect); VOMBEL_DEBUG=1 prints it on standard error too.\n";
}
