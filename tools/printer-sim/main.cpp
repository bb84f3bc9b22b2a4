// q62m-printer-sim: a stand-in Kelvaran Q62M for trying and testing the
// monitor without a printer.
#include "tools/printer-sim/PrinterSimulator.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::string error;
    std::optional<SimulatorOptions> options =
        SimulatorOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "q62m-printer-sim: %s\n\n%s", error.c_str(), SimulatorOptions::Usage());
        return 2;
    }
    if (options->help) {
        std::printf("%s\n%s", SimulatorOptions::Usage(), SimulatorCommands::HelpText());
        return 0;
    }
    return PrinterSimulator(std::move(*options)).Run();
}
