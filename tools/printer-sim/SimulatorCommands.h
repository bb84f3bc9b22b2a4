#pragma once

#include "tools/printer-sim/SimulatedPrinter.h"

#include <string>
#include <vector>

enum class CommandAction {
    SetFault,
    ClearFault,
    AllWell,
    Raw,
    Behave,
    StopListening,
    Listen,
    Show,
    Sleep,
    Help,
    Quit,
};

// One command as the user typed it, ready to carry out.
struct SimulatorCommand {
    CommandAction action = CommandAction::Show;
    std::string printer;  // empty: every printer
    Fault fault = Fault::PaperLow;
    Behaviour behaviour = Behaviour::Normal;
    int amount = 0;  // ms for delay and sleep, byte count for garbage
    Bytes bytes;     // raw answer
};

struct ParsedLine {
    enum class Kind { Blank, Command, Error } kind = Kind::Blank;
    SimulatorCommand command;
    std::string error;
};

// The simulator's command language, typed on standard input or read from a
// script: parsing one line and the help text. PrinterSimulator calls it for
// every line; SimulatorOptions asks it which words a printer name may not be.
class SimulatorCommands {
public:
    static constexpr int kMaxDelayMs = 600000;
    static constexpr int kMaxSleepMs = 3600000;
    static constexpr int kDefaultGarbageBytes = 4;

    // A line whose first word is one of `printerNames` changes that printer
    // only. Blank lines and lines starting with '#' are Blank.
    static ParsedLine Parse(const std::string& line, const std::vector<std::string>& printerNames);

    // True when `word` starts a command, so a printer of that name would
    // make lines ambiguous.
    static bool IsCommandWord(const std::string& word);

    static const char* HelpText();
};
