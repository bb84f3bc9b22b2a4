// How the configuration file's values reach the printer table and the
// monitor-wide state, through the main window's load.
#include "core/Configuration.h"
#include "core/RuntimeError.h"
#include "core/frmMain.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    std::unique_ptr<frmMain> Load(const std::string& ini)
    {
        dir_.Write("StatusMonitorQ62m.ini", ini);
        auto form = std::make_unique<frmMain>(dir_.File("StatusMonitorQ62m.ini"));
        EXPECT_TRUE(form->Form_Load());
        return form;
    }

    std::unique_ptr<frmMain> LoadGeneral(const std::string& general)
    {
        std::string ini = "[General]\n" + general + "\n";
        for (int i = 1; i <= 4; ++i)
            ini += "[Printer" + std::to_string(i) + "]\nPort=-1\n";
        return Load(ini);
    }

    const PrinterEntry& LoadOne(const std::string& printerKeys)
    {
        form_.reset();
        form_ = Load("[General]\nPrinters=1\n[Printer1]\n" + printerKeys + "\n");
        return form_->PrinterTable.at(0);
    }

    TempDir dir_;
    std::unique_ptr<frmMain> form_;
};

TEST_F(ConfigurationTest, AFileWithoutGeneralSectionWatchesOnePrinterEveryThreeSeconds)
{
    auto form = Load("[Printer1]\nPort=2\n");
    EXPECT_EQ(form->PrinterCount, 1);
    EXPECT_EQ(form->UpdateInterval, 3);
    EXPECT_EQ(form->PrinterTable.size(), 1u);
}

TEST_F(ConfigurationTest, PrinterCountIsRoundedAndRaisedToOne)
{
    const std::pair<const char*, int> cases[] = {{"0", 1}, {"-4", 1}, {"2.5", 2}, {"3.5", 4},
                                                 {"3 printers", 3}, {"", 1}, {"&H2", 2}};
    for (const auto& [text, count] : cases) {
        auto form = LoadGeneral(std::string("Printers=") + text);
        EXPECT_EQ(form->PrinterCount, count) << "Printers=" << text;
        EXPECT_EQ(form->PrinterTable.size(), static_cast<size_t>(count));
    }
}

TEST_F(ConfigurationTest, UpdateIntervalOutsideOneToAnHourBecomesThree)
{
    const std::pair<const char*, int> cases[] = {{"0", 3}, {"3601", 3}, {"abc", 3}, {"-5", 3},
                                                 {"3600", 3600}, {"1", 1}, {"10", 10}, {"0.4", 3}};
    for (const auto& [text, interval] : cases) {
        auto form = LoadGeneral(std::string("UpdateInterval=") + text);
        EXPECT_EQ(form->UpdateInterval, interval) << "UpdateInterval=" << text;
    }
}

TEST_F(ConfigurationTest, PortSelectsTheTransportAndOnlyItsKeysAreRead)
{
    const std::string transportKeys =
        "IP=10.1.1.1\nSocket=9200\nBaudRate=9600\nParity=e\nDataBits=7\nStopBits=2\nDevice=/dev/ttyUSB0\n";

    const PrinterEntry& usb = LoadOne("Port=-1\n" + transportKeys);
    EXPECT_EQ(usb.Port, -1);
    EXPECT_EQ(usb.IP + usb.Socket + usb.BaudRate + usb.Parity + usb.DataBits + usb.StopBits + usb.Device, "");

    const PrinterEntry& network = LoadOne("Port=0\n" + transportKeys);
    EXPECT_EQ(network.IP, "10.1.1.1");
    EXPECT_EQ(network.Socket, "9200");
    EXPECT_EQ(network.BaudRate + network.Parity + network.DataBits + network.StopBits + network.Device, "");

    const PrinterEntry& serial = LoadOne("Port=3\n" + transportKeys);
    EXPECT_EQ(serial.Port, 3);
    EXPECT_EQ(serial.BaudRate, "9600");
    EXPECT_EQ(serial.Parity, "e");
    EXPECT_EQ(serial.DataBits, "7");
    EXPECT_EQ(serial.StopBits, "2");
    EXPECT_EQ(serial.Device, "/dev/ttyUSB0");
    EXPECT_EQ(serial.IP + serial.Socket, "");
}

TEST_F(ConfigurationTest, EmptyOrMissingTransportKeysTakeTheirDefaults)
{
    const PrinterEntry& network = LoadOne("Port=0\nIP=\nSocket=   \n");
    EXPECT_EQ(network.IP, "127.0.0.1");
    EXPECT_EQ(network.Socket, "9100");

    const PrinterEntry& serial = LoadOne("Port=1\nBaudRate=\n");
    EXPECT_EQ(serial.BaudRate, "115200");
    EXPECT_EQ(serial.Parity, "n");
    EXPECT_EQ(serial.DataBits, "8");
    EXPECT_EQ(serial.StopBits, "1");
    EXPECT_EQ(serial.Device, "");
}

TEST_F(ConfigurationTest, SerialFramingKeepsValuesWhoseFirstCharacterPasses)
{
    struct Case {
        const char* key;
        const char* value;
        const char* stored;
    };
    const Case cases[] = {{"Parity", "E", "e"},       {"Parity", "x", "n"},     {"Parity", "even", "even"},
                          {"Parity", "ODD", "odd"},   {"DataBits", "9", "8"},   {"DataBits", "7", "7"},
                          {"DataBits", "8bit", "8bit"}, {"StopBits", "3", "1"}, {"StopBits", "2", "2"},
                          {"StopBits", "1.5", "1.5"}};
    for (const Case& c : cases) {
        const PrinterEntry& e = LoadOne(std::string("Port=1\n") + c.key + "=" + c.value + "\n");
        const std::string& stored = std::string(c.key) == "Parity" ? e.Parity
                                  : std::string(c.key) == "DataBits" ? e.DataBits
                                                                     : e.StopBits;
        EXPECT_EQ(stored, c.stored) << c.key << "=" << c.value;
    }
    using namespace std::string_literals;
    const PrinterEntry& nul = LoadOne("Port=1\nParity=\0e\nDataBits=\0" "8\nStopBits=\0" "2\n"s);
    EXPECT_EQ(nul.Parity, "n") << "a NUL is none of the allowed first characters";
    EXPECT_EQ(nul.DataBits, "8");
    EXPECT_EQ(nul.StopBits, "1");
}

// Read without the load, which would bind the ports it finds.
TEST_F(ConfigurationTest, StatusServerSocketIsAPortNumberOrNothing)
{
    const std::pair<const char*, const char*> cases[] = {
        {"StatusServerSocket=05000", "5000"}, {"StatusServerSocket=5000 (spare)", "5000"},
        {"StatusServerSocket=65535", "65535"}, {"StatusServerSocket=1", "1"},
        {"StatusServerSocket=0", ""},          {"StatusServerSocket=65536", ""},
        {"StatusServerSocket=-1", ""},         {"StatusServerSocket=abc", ""},
        {"statusserversocket = 7000", "7000"}, {"StatusServerSocket=1E400", ""},
        {"StatusServerSocket=&H100000000", ""}, {"", ""}};
    for (const auto& [line, stored] : cases) {
        dir_.Write("q.ini", std::string("[Printer1]\nPort=-1\n") + line + "\n");
        PrinterEntry entry;
        Configuration::ReadPrinterIdentity(dir_.File("q.ini"), 0, entry);
        EXPECT_EQ(entry.StatusServerSocket, stored) << line;
    }
}

TEST_F(ConfigurationTest, NameKeepsItsFirstTwentyCharacters)
{
    EXPECT_EQ(LoadOne("Port=-1\nName=ABCDEFGHIJKLMNOPQRSTUVWXY\n").Name, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(LoadOne("Port=-1\nName=  Kiosk A  \n").Name, "Kiosk A");
}

TEST_F(ConfigurationTest, SectionsAndKeysMatchInAnyLetterCase)
{
    auto form = Load("[GENERAL]\nprinters=2\nUPDATEINTERVAL=7\n[printer1]\nport=0\nip=127.0.0.9\n"
                     "[PRINTER2]\nPORT=4\n");
    EXPECT_EQ(form->PrinterCount, 2);
    EXPECT_EQ(form->UpdateInterval, 7);
    EXPECT_EQ(form->PrinterTable[0].IP, "127.0.0.9");
    EXPECT_EQ(form->PrinterTable[1].Port, 4);
}

TEST_F(ConfigurationTest, SectionsBeyondThePrinterCountAreNeverRead)
{
    auto form = Load("[General]\nPrinters=1\n[Printer1]\nPort=1\n[Printer2]\nPort=USB\n");
    EXPECT_EQ(form->PrinterTable.size(), 1u);
}

TEST_F(ConfigurationTest, LongValuesAreCutTo749Characters)
{
    const PrinterEntry& e = LoadOne("Port=0\nIP=" + std::string(800, 'a') + "\n");
    EXPECT_EQ(e.IP.size(), 749u);
}

TEST_F(ConfigurationTest, ABadPortStopsTheLoadWithATypeMismatch)
{
    for (const char* port : {"Port=", "Port=USB", "", "Port=1 2"}) {
        dir_.Write("StatusMonitorQ62m.ini", std::string("[Printer1]\n") + port + "\n");
        frmMain form(dir_.File("StatusMonitorQ62m.ini"));
        try {
            form.Form_Load();
            FAIL() << "load went on with '" << port << "'";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrTypeMismatch) << port;
        }
    }
}

TEST_F(ConfigurationTest, ValuesOutsideSixteenBitsStopTheLoadWithAnOverflow)
{
    for (const char* ini : {"[General]\nPrinters=40000\n", "[General]\nUpdateInterval=99999\n",
                            "[Printer1]\nPort=32768\n"}) {
        dir_.Write("StatusMonitorQ62m.ini", std::string(ini) + "[Printer1]\nPort=1\n");
        frmMain form(dir_.File("StatusMonitorQ62m.ini"));
        try {
            form.Form_Load();
            FAIL() << "load went on with " << ini;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), kErrOverflow) << ini;
        }
    }
}

TEST_F(ConfigurationTest, AMissingFileEndsTheLoadBeforeAnythingIsRead)
{
    frmMain form(dir_.File("absent.ini"));
    EXPECT_FALSE(form.Form_Load());
    EXPECT_TRUE(form.PrinterTable.empty());
}

}  // namespace
