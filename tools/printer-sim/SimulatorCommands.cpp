#include "tools/printer-sim/SimulatorCommands.h"

#include "runtime/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

using Words = std::vector<std::string>;

struct FaultName {
    const char* text;
    Fault fault;
};

const FaultName kFaultNames[] = {
    {"paper low", Fault::PaperLow},
    {"paper empty", Fault::PaperEmpty},
    {"paper jam", Fault::PaperJam},
    {"load error", Fault::LoadError},
    {"head open", Fault::HeadOpen},
    {"over temperature", Fault::OverTemperature},
    {"over temp", Fault::OverTemperature},
    {"cutter error", Fault::CutterError},
    {"presenter jam", Fault::PresenterJam},
    {"paper held", Fault::PaperHeld},
};

const char* const kCommandWords[] = {
    "paper", "load", "head", "over", "cutter", "presenter", "clear", "all", "raw", "silent",
    "delay", "close", "early", "garbage", "normal", "stop", "listen", "show", "sleep", "help",
    "quit",
};

Words SplitWords(const std::string& line)
{
    Words words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}


std::string Join(const Words& words, size_t from)
{
    std::string text;
    for (size_t i = from; i < words.size(); ++i)
        text += (text.empty() ? "" : " ") + AsciiLower(words[i]);
    return text;
}

ParsedLine Command(CommandAction action)
{
    ParsedLine parsed;
    parsed.kind = ParsedLine::Kind::Command;
    parsed.command.action = action;
    return parsed;
}

ParsedLine Error(std::string message)
{
    ParsedLine parsed;
    parsed.kind = ParsedLine::Kind::Error;
    parsed.error = std::move(message);
    return parsed;
}

bool FindFault(const std::string& text, Fault& fault)
{
    for (const FaultName& name : kFaultNames) {
        if (text == name.text) {
            fault = name.fault;
            return true;
        }
    }
    return false;
}

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& word, int low, int high, int& value)
{
    if (word.empty() || word.size() > 9
        || !std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    value = std::stoi(word);
    return value >= low && value <= high;
}

ParsedLine ParseNumberCommand(const Words& words, CommandAction action, int low, int high,
                              const char* what)
{
    ParsedLine parsed = Command(action);
    if (words.size() != 2 || !ParseNumber(words[1], low, high, parsed.command.amount))
        return Error(std::string("'") + words[0] + "' needs " + what + " from " + std::to_string(low)
                     + " to " + std::to_string(high));
    return parsed;
}

ParsedLine ParseRaw(const Words& words)
{
    ParsedLine parsed = Command(CommandAction::Raw);
    if (words.size() < 2 || words.size() > 1 + SimulatedPrinter::kMaxRawBytes)
        return Error("'raw' needs 1 to " + std::to_string(SimulatedPrinter::kMaxRawBytes)
                     + " hex bytes, e.g. raw 01 00 00 F0");
    for (size_t i = 1; i < words.size(); ++i) {
        std::optional<uint8_t> byte = ParseHexByte(words[i]);
        if (!byte)
            return Error("'raw': '" + words[i] + "' is not a hex byte (00 to FF)");
        parsed.command.bytes.push_back(*byte);
    }
    return parsed;
}

ParsedLine ParseGarbage(const Words& words)
{
    if (words.size() == 1) {
        ParsedLine parsed = Command(CommandAction::Behave);
        parsed.command.behaviour = Behaviour::Garbage;
        parsed.command.amount = SimulatorCommands::kDefaultGarbageBytes;
        return parsed;
    }
    ParsedLine parsed = ParseNumberCommand(words, CommandAction::Behave, 1,
                                           SimulatedPrinter::kMaxGarbageBytes, "a byte count");
    parsed.command.behaviour = Behaviour::Garbage;
    return parsed;
}

ParsedLine Behave(Behaviour behaviour)
{
    ParsedLine parsed = Command(CommandAction::Behave);
    parsed.command.behaviour = behaviour;
    return parsed;
}

// The command itself, after any printer name.
ParsedLine ParseAction(const Words& words)
{
    const std::string verb = AsciiLower(words[0]);
    const std::string all = Join(words, 0);
    Fault fault;
    if (FindFault(all, fault)) {
        ParsedLine parsed = Command(CommandAction::SetFault);
        parsed.command.fault = fault;
        return parsed;
    }
    if (verb == "clear") {
        ParsedLine parsed = Command(CommandAction::ClearFault);
        if (!FindFault(Join(words, 1), parsed.command.fault))
            return Error("'clear' needs a condition, e.g. clear head open");
        return parsed;
    }
    if (verb == "raw")
        return ParseRaw(words);
    if (verb == "garbage")
        return ParseGarbage(words);
    if (verb == "delay") {
        ParsedLine parsed = ParseNumberCommand(words, CommandAction::Behave, 1,
                                               SimulatorCommands::kMaxDelayMs, "milliseconds");
        parsed.command.behaviour = Behaviour::Delay;
        return parsed;
    }
    if (verb == "sleep")
        return ParseNumberCommand(words, CommandAction::Sleep, 0, SimulatorCommands::kMaxSleepMs,
                                  "milliseconds");
    if (all == "all well") return Command(CommandAction::AllWell);
    if (all == "silent") return Behave(Behaviour::Silent);
    if (all == "close") return Behave(Behaviour::HangUp);
    if (all == "early") return Behave(Behaviour::Early);
    if (all == "normal") return Behave(Behaviour::Normal);
    if (all == "stop listening") return Command(CommandAction::StopListening);
    if (all == "listen") return Command(CommandAction::Listen);
    if (all == "show") return Command(CommandAction::Show);
    if (all == "help") return Command(CommandAction::Help);
    if (all == "quit") return Command(CommandAction::Quit);
    return Error("unknown command '" + Join(words, 0) + "' (type help for the list)");
}

bool AppliesToWholeSimulator(CommandAction action)
{
    return action == CommandAction::Sleep || action == CommandAction::Help
        || action == CommandAction::Quit;
}

}

ParsedLine SimulatorCommands::Parse(const std::string& line, const std::vector<std::string>& printerNames)
{
    Words words = SplitWords(line);
    if (words.empty() || words[0][0] == '#')
        return {};
    std::string printer;
    if (std::find(printerNames.begin(), printerNames.end(), words[0]) != printerNames.end()) {
        printer = words[0];
        words.erase(words.begin());
        if (words.empty())
            return Error("'" + printer + "' needs a command after it");
    }
    ParsedLine parsed = ParseAction(words);
    if (parsed.kind != ParsedLine::Kind::Command || printer.empty())
        return parsed;
    if (AppliesToWholeSimulator(parsed.command.action))
        return Error("'" + AsciiLower(words[0]) + "' is not for one printer; leave out '" + printer + "'");
    parsed.command.printer = printer;
    return parsed;
}

bool SimulatorCommands::IsCommandWord(const std::string& word)
{
    const std::string lower = AsciiLower(word);
    return std::any_of(std::begin(kCommandWords), std::end(kCommandWords),
                       [&](const char* command) { return lower == command; });
}

const char* SimulatorCommands::HelpText()
{
    return R"(Commands, one a line (blank lines and lines starting with # are skipped):
  paper low           set byte 0 bit 01     paper held      set byte 1 bit 01
  head open           set byte 0 bit 02     paper jam       set byte 1 bit 02
  paper empty         set byte 0 bit 04     presenter jam   set byte 1 bit 04
  over temperature    set byte 0 bit 08     load error      set byte 1 bit 10
  cutter error        set byte 0 bit 10
                      conditions add up until cleared
  clear CONDITION     clear one of the conditions above, e.g. clear head open
  all well            answer 00 00 00 F0 again (clears every condition and raw)
  raw HH [HH ...]     answer exactly these hex bytes (1 to 64)
  silent              read requests but never answer
  delay MS            answer each request MS milliseconds late
  close               close each TCP connection at once without answering
                      (a pseudo-terminal cannot hang up: it stays silent)
  early               answer with F0 as the second byte
  garbage [N]         answer N bytes (default 4) without an F0 terminator
  normal              end silent, delay, close, early or garbage
  stop listening      refuse TCP connections and drop open ones;
                      a pseudo-terminal stays silent
  listen              take connections again on the same port
  show                print each printer's answer and behaviour
  sleep MS            hold back the next command of this source (for scripts)
  help                this list
  quit                end the simulator
With several printers, a command that starts with a printer's name changes
that printer only ("printer2 head open"); without a name it changes every
printer.
)";
}
