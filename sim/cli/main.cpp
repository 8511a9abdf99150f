// vombel-sim: runs one simulated data card on pseudo-terminals, prints their
// paths for a terminal program or modem software to open, and takes commands
// on standard input to change the card while it runs.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/sim_device_tree.h"
#include "platform/sim_ip_helper.h"
#include "sim/card_class.h"
#include "sim/cli/console.h"
#include "sim/sim_card_builder.h"

namespace {

void Usage() {
  std::cerr << "usage: vombel-sim [--card NAME] [--pin PIN] [--puk PUK] [--no-sim] [--roaming]\n"
               "                  [--unregistered] [--instant]\n"
               "cards:";
  for (const auto& c : sim::AllCardClasses()) std::cerr << " " << c.id;
  std::cerr << " (or a model code such as 0x2100)\n";
}

}  // namespace

int main(int argc, char** argv) {
  const sim::CardClass* card_class = &sim::ClassOf(sim::CardKind::kMultiplexing3g);
  sim::SimCardBuilder builder;
  bool instant = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--card" && has_value) {
      card_class = sim::FindCardClass(argv[++i]);
      if (!card_class) {
        Usage();
        return 2;
      }
    } else if (arg == "--pin" && has_value) {
      builder.WithPin(argv[++i]);
    } else if (arg == "--puk" && has_value) {
      builder.WithPuk(argv[++i]);
    } else if (arg == "--no-sim") {
      builder.WithoutSim();
    } else if (arg == "--roaming") {
      builder.Registered(5);
    } else if (arg == "--unregistered") {
      builder.NotRegistered();
    } else if (arg == "--instant") {
      instant = true;
    } else {
      Usage();
      return 2;
    }
  }
  builder.OfClass(card_class->kind);
  if (!instant) {
    // A real card takes its time: the SIM is not ready at once after power-up
    // nor after the PIN, and answers come after a moment.
    builder.SimNotReadyFor(2000).SimInitTakes(3000).AnswerDelay(20);
  }
  // The card sits in a device tree of its own, as the program's simulation
  // mode will see it ("tree" shows it), its adapter among simulated ones
  // ("ndis" shows its address).
  platform::SimDeviceTree tree;
  platform::SimIpHelper adapters;
  auto present = builder.BuildIn(tree, &adapters);
  if (!present) {
    std::cerr << "vombel-sim: could not make a pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  sim::SimCard& card = present->Card();
  present->SetObserver([&card](bool in) {
    if (!in) return;
    sim::cli::PrintPorts(card.Ports(), std::cout);
    std::cout.flush();
  });
  std::cout << card_class->db_name << " (model 0x" << std::hex << card_class->model << std::dec << ")\n";
  sim::cli::PrintPorts(card.Ports(), std::cout);
  sim::cli::PrintSimCodes(card.Snapshot(), std::cout);
  std::cout << "type help for the commands" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (!sim::cli::RunConsoleLine(*present, line, std::cout)) break;
    std::cout.flush();
  }
  return 0;
}
