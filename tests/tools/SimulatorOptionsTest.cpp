#include "tools/printer-sim/SimulatorOptions.h"

#include <gtest/gtest.h>

namespace {

SimulatorOptions Parse(const std::vector<std::string>& args)
{
    std::string error;
    std::optional<SimulatorOptions> options = SimulatorOptions::Parse(args, error);
    EXPECT_TRUE(options.has_value()) << error;
    return options.value_or(SimulatorOptions{});
}

std::string ErrorOf(const std::vector<std::string>& args)
{
    std::string error;
    EXPECT_FALSE(SimulatorOptions::Parse(args, error).has_value());
    return error;
}

TEST(SimulatorOptionsDefaults, OnePrinterOnLoopbackPort9100ReadingStdin)
{
    SimulatorOptions options = Parse({});
    ASSERT_EQ(options.printers.size(), 1u);
    EXPECT_EQ(options.printers[0].name, "printer1");
    ASSERT_EQ(options.printers[0].tcp.size(), 1u);
    EXPECT_EQ(options.printers[0].tcp[0].host, "127.0.0.1");
    EXPECT_EQ(options.printers[0].tcp[0].port, 9100);
    EXPECT_FALSE(options.printers[0].pty);
    EXPECT_TRUE(options.readStdin);
    EXPECT_FALSE(options.quiet);
}

TEST(SimulatorOptionsDefaults, EndpointsBeforeAnyPrinterBelongToPrinter1)
{
    SimulatorOptions options = Parse({"--pty", "--tcp", "0", "--quiet", "--no-stdin"});
    ASSERT_EQ(options.printers.size(), 1u);
    EXPECT_EQ(options.printers[0].name, "printer1");
    EXPECT_TRUE(options.printers[0].pty);
    ASSERT_EQ(options.printers[0].tcp.size(), 1u);
    EXPECT_EQ(options.printers[0].tcp[0].port, 0);
    EXPECT_TRUE(options.quiet);
    EXPECT_FALSE(options.readStdin);
}

TEST(SimulatorOptionsPrinters, EndpointsFollowTheirPrinterAndBarePrintersGetNumberedPorts)
{
    SimulatorOptions options = Parse(
        {"--printer", "a", "--printer", "b", "--pty", "--printer", "c", "--tcp", "0.0.0.0:5000",
         "--tcp", "0", "--printer", "d"});
    ASSERT_EQ(options.printers.size(), 4u);
    EXPECT_EQ(options.printers[0].tcp[0].port, 9100);
    EXPECT_TRUE(options.printers[1].tcp.empty());
    EXPECT_TRUE(options.printers[1].pty);
    ASSERT_EQ(options.printers[2].tcp.size(), 2u);
    EXPECT_EQ(options.printers[2].tcp[0].host, "0.0.0.0");
    EXPECT_EQ(options.printers[2].tcp[0].port, 5000);
    EXPECT_EQ(options.printers[2].tcp[1].host, "127.0.0.1");
    EXPECT_EQ(options.printers[3].name, "d");
    EXPECT_EQ(options.printers[3].tcp[0].port, 9103);
}

TEST(SimulatorOptionsPrinters, NamesMustBeSingleUnusedNonCommandWords)
{
    EXPECT_NE(ErrorOf({"--printer", "a", "--printer", "a"}).find("twice"), std::string::npos);
    EXPECT_NE(ErrorOf({"--printer", "paper"}).find("cannot name"), std::string::npos);
    EXPECT_NE(ErrorOf({"--printer", "two words"}).find("cannot name"), std::string::npos);
    EXPECT_NE(ErrorOf({"--printer", ""}).find("cannot name"), std::string::npos);
}

TEST(SimulatorOptionsErrors, BadValuesMissingValuesAndUnknownOptionsAreRefused)
{
    EXPECT_NE(ErrorOf({"--tcp"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ErrorOf({"--script"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ErrorOf({"--tcp", "65536"}).find("--tcp"), std::string::npos);
    EXPECT_NE(ErrorOf({"--verbose"}).find("'--verbose'"), std::string::npos);
}

TEST(SimulatorOptionsErrors, TcpAddressesAreIpv4OrLocalhost)
{
    EXPECT_EQ(ParseTcpAddress("localhost:7")->host, "127.0.0.1");
    EXPECT_EQ(ParseTcpAddress("127.0.0.2:65535")->port, 65535);
    for (const char* text : {"", "x", "printer.local:9100", "127.0.0.1:", "::1:9100", "-1", "1.2.3:80"})
        EXPECT_FALSE(ParseTcpAddress(text).has_value()) << text;
}

}
