#include "tools/printer-sim/SimulatorCommands.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> kOne = {"printer1"};
const std::vector<std::string> kTwo = {"front", "back"};

SimulatorCommand Parsed(const std::string& line, const std::vector<std::string>& names = kOne)
{
    ParsedLine parsed = SimulatorCommands::Parse(line, names);
    EXPECT_EQ(parsed.kind, ParsedLine::Kind::Command) << line << ": " << parsed.error;
    return parsed.command;
}

std::string ErrorOf(const std::string& line, const std::vector<std::string>& names = kOne)
{
    ParsedLine parsed = SimulatorCommands::Parse(line, names);
    EXPECT_EQ(parsed.kind, ParsedLine::Kind::Error) << line;
    return parsed.error;
}

TEST(SimulatorCommandsConditions, OverTempIsShortForOverTemperature)
{
    SimulatorCommand command = Parsed("over temp");
    EXPECT_EQ(command.action, CommandAction::SetFault);
    EXPECT_EQ(command.fault, Fault::OverTemperature);
    EXPECT_TRUE(command.printer.empty());
}

TEST(SimulatorCommandsConditions, IgnoreCaseAndExtraSpaces)
{
    SimulatorCommand command = Parsed("  Head   OPEN ");
    EXPECT_EQ(command.action, CommandAction::SetFault);
    EXPECT_EQ(command.fault, Fault::HeadOpen);
}

TEST(SimulatorCommandsConditions, ClearNamesTheConditionToClear)
{
    SimulatorCommand command = Parsed("clear presenter jam");
    EXPECT_EQ(command.action, CommandAction::ClearFault);
    EXPECT_EQ(command.fault, Fault::PresenterJam);
    EXPECT_NE(ErrorOf("clear").find("condition"), std::string::npos);
    EXPECT_NE(ErrorOf("clear the jam").find("condition"), std::string::npos);
}

TEST(SimulatorCommandsConditions, RawTakesOneToSixtyFourHexBytes)
{
    EXPECT_EQ(Parsed("raw 01 0x00 f0 7").bytes, (Bytes{0x01, 0x00, 0xF0, 0x07}));
    EXPECT_EQ(Parsed("raw 01 0x00 f0 7").action, CommandAction::Raw);
    EXPECT_FALSE(ErrorOf("raw").empty());
    EXPECT_NE(ErrorOf("raw 01 100").find("'100'"), std::string::npos);
    EXPECT_NE(ErrorOf("raw zz").find("'zz'"), std::string::npos);
    std::string many = "raw";
    for (int i = 0; i < 65; ++i)
        many += " 00";
    EXPECT_FALSE(ErrorOf(many).empty());
}

TEST(SimulatorCommandsBehaviour, MisbehavioursParseWithTheirAmounts)
{
    SimulatorCommand delay = Parsed("delay 1500");
    EXPECT_EQ(delay.action, CommandAction::Behave);
    EXPECT_EQ(delay.behaviour, Behaviour::Delay);
    EXPECT_EQ(delay.amount, 1500);
    EXPECT_EQ(Parsed("silent").behaviour, Behaviour::Silent);
    EXPECT_EQ(Parsed("close").behaviour, Behaviour::HangUp);
    EXPECT_EQ(Parsed("early").behaviour, Behaviour::Early);
    EXPECT_EQ(Parsed("normal").behaviour, Behaviour::Normal);
    EXPECT_EQ(Parsed("garbage").amount, SimulatorCommands::kDefaultGarbageBytes);
    EXPECT_EQ(Parsed("garbage 2000").amount, 2000);
    EXPECT_EQ(Parsed("garbage 2000").behaviour, Behaviour::Garbage);
}

TEST(SimulatorCommandsBehaviour, AmountsOutOfRangeOrNotNumbersAreRefused)
{
    for (const char* line : {"delay", "delay 0", "delay -5", "delay 1e3", "delay 600001",
                             "garbage 0", "garbage 65537", "garbage x", "sleep", "sleep 5 5"})
        EXPECT_FALSE(ErrorOf(line).empty()) << line;
    EXPECT_EQ(Parsed("sleep 0").action, CommandAction::Sleep);
}

TEST(SimulatorCommandsBehaviour, ListeningShowHelpAndQuitAreWholeLines)
{
    EXPECT_EQ(Parsed("stop listening").action, CommandAction::StopListening);
    EXPECT_EQ(Parsed("listen").action, CommandAction::Listen);
    EXPECT_EQ(Parsed("all well").action, CommandAction::AllWell);
    EXPECT_EQ(Parsed("show").action, CommandAction::Show);
    EXPECT_EQ(Parsed("help").action, CommandAction::Help);
    EXPECT_EQ(Parsed("quit").action, CommandAction::Quit);
    EXPECT_FALSE(ErrorOf("stop").empty());
    EXPECT_FALSE(ErrorOf("quit now").empty());
}

TEST(SimulatorCommandsPrinters, ALeadingPrinterNameTargetsThatPrinterOnly)
{
    SimulatorCommand command = Parsed("back paper jam", kTwo);
    EXPECT_EQ(command.printer, "back");
    EXPECT_EQ(command.fault, Fault::PaperJam);
    EXPECT_EQ(Parsed("front delay 20", kTwo).printer, "front");
    EXPECT_EQ(Parsed("paper jam", kTwo).printer, "");
}

TEST(SimulatorCommandsPrinters, UnknownNamesAndBareNamesAreErrors)
{
    EXPECT_NE(ErrorOf("side paper jam", kTwo).find("unknown command 'side paper jam'"),
              std::string::npos);
    EXPECT_NE(ErrorOf("front", kTwo).find("needs a command"), std::string::npos);
}

TEST(SimulatorCommandsPrinters, WholeSimulatorCommandsTakeNoPrinterName)
{
    for (const char* line : {"front quit", "front help", "front sleep 10"})
        EXPECT_NE(ErrorOf(line, kTwo).find("not for one printer"), std::string::npos) << line;
}

TEST(SimulatorCommandsLines, BlankLinesAndCommentsAreSkipped)
{
    for (const char* line : {"", "   ", "# paper low", "#"})
        EXPECT_EQ(SimulatorCommands::Parse(line, kOne).kind, ParsedLine::Kind::Blank) << line;
}

TEST(SimulatorCommandsLines, CommandWordsCannotNamePrinters)
{
    EXPECT_TRUE(SimulatorCommands::IsCommandWord("paper"));
    EXPECT_TRUE(SimulatorCommands::IsCommandWord("Clear"));
    EXPECT_TRUE(SimulatorCommands::IsCommandWord("stop"));
    EXPECT_FALSE(SimulatorCommands::IsCommandWord("printer1"));
}

}
