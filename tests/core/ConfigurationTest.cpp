// How the configuration file's values are read and normalised, by the
// functions the main window's load calls; what stops the load is the load's.
#include "core/Configuration.h"
#include "support/LoadedForm.h"
#include "support/RuntimeErrors.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

class ConfigurationTest : public ::testing::Test {
protected:
    // The entry of the printer with `index`, read from `ini`.
    PrinterEntry Read(const std::string& ini, int16_t index = 0)
    {
        dir_.Write("q.ini", ini);
        PrinterEntry entry;
        Configuration::ReadPrinterIdentity(dir_.File("q.ini"), index, entry);
        Configuration::ReadPrinterTransport(dir_.File("q.ini"), index, entry);
        return entry;
    }
    PrinterEntry LoadOne(const std::string& keys) { return Read("[Printer1]\n" + keys + "\n"); }
    Configuration::General General(const std::string& ini)
    {
        dir_.Write("q.ini", ini);
        return Configuration::ReadGeneral(dir_.File("q.ini"));
    }

    TempDir dir_;
};

// The fields an entry holds, empty ones left out.
std::string Summary(const PrinterEntry& e)
{
    std::string text = "Port=" + std::to_string(e.Port);
    const std::pair<const char*, const std::string*> fields[] = {
        {"IP", &e.IP},           {"Socket", &e.Socket},     {"BaudRate", &e.BaudRate}, {"Parity", &e.Parity},
        {"DataBits", &e.DataBits}, {"StopBits", &e.StopBits}, {"Device", &e.Device},     {"Name", &e.Name},
        {"Label", &e.PortLabel}};
    for (const auto& [key, value] : fields)
        if (!value->empty())
            text += " " + std::string(key) + "=" + *value;
    return text;
}

TEST_F(ConfigurationTest, GeneralValuesAreNormalised)
{
    struct Case {
        const char* general;
        int16_t printers, interval;
    };
    const Case cases[] = {{"Printers=", 1, 3},  {"Printers=0", 1, 3},           {"Printers=-4", 1, 3},
                          {"Printers=3.5", 4, 3}, {"Printers=2 printers", 2, 3},  {"UpdateInterval=0", 4, 3},
                          {"UpdateInterval=3601", 4, 3}, {"UpdateInterval=abc", 4, 3}, {"UpdateInterval=0.4", 4, 3},
                          {"UpdateInterval=3600", 4, 3600}, {"UpdateInterval=1", 4, 1}};
    for (const Case& c : cases) {
        const Configuration::General general = General(PrintersIni(4, "Port=-1\n", c.general));
        EXPECT_EQ(general.PrinterCount, c.printers) << c.general;
        EXPECT_EQ(general.UpdateInterval, c.interval) << c.general;
    }
    EXPECT_EQ(General("[Printer1]\nPort=2\n").UpdateInterval, 3) << "no [General] section at all";
}

TEST_F(ConfigurationTest, PortSelectsTheTransportWhoseKeysAreReadAndNormalised)
{
    const std::string all = "IP=10.1.1.1\nSocket=9200\nBaudRate=9600\nParity=e\nDataBits=7\nStopBits=2\nDevice=/dev/ttyUSB0\n";
    const std::pair<std::string, std::string> cases[] = {
        {"Port=-1\n" + all, "Port=-1 Label=USB"},
        {"Port=0\n" + all, "Port=0 IP=10.1.1.1 Socket=9200 Label=10.1.1.1"},
        {"Port=3\n" + all, "Port=3 BaudRate=9600 Parity=e DataBits=7 StopBits=2 Device=/dev/ttyUSB0 Label=COM:3"},
        {"Port=0\nIP=\nSocket=   ", "Port=0 IP=127.0.0.1 Socket=9100 Label=127.0.0.1"},
        {"Port=1\nBaudRate=", "Port=1 BaudRate=115200 Parity=n DataBits=8 StopBits=1 Label=COM:1"},
        {"Port=1\nParity=E\nDataBits=9\nStopBits=3", "Port=1 BaudRate=115200 Parity=e DataBits=8 StopBits=1 Label=COM:1"},
        {"Port=1\nParity=x\nDataBits=8bit\nStopBits=1.5", "Port=1 BaudRate=115200 Parity=n DataBits=8bit StopBits=1.5 Label=COM:1"},
        {"Port=1\nParity=ODD\nParity=even", "Port=1 BaudRate=115200 Parity=odd DataBits=8 StopBits=1 Label=COM:1"},
        {"Port=1\nParity=\0e\nDataBits=\0" "8\nStopBits=\0" "2"s, "Port=1 BaudRate=115200 Parity=n DataBits=8 StopBits=1 Label=COM:1"},
        {"Port=-1\nName=ABCDEFGHIJKLMNOPQRSTUVWXY", "Port=-1 Name=ABCDEFGHIJKLMNOPQRST Label=ABCDEFGHIJKLMNOPQRST"},
        {"Port=0\nName=  Kiosk A  ", "Port=0 IP=127.0.0.1 Socket=9100 Name=Kiosk A Label=Kiosk A"},
        {"Port=0\nIP=" + std::string(800, 'a'), "Port=0 IP=" + std::string(749, 'a') + " Socket=9100 Label=" + std::string(749, 'a')},
        // How the file's lines read: blanks and one pair of quotes around a
        // value go, comments and lines without "=" are skipped, the first
        // of two keys counts, and 8-bit bytes pass unchanged.
        {"Port=-1\nName=\t\"Kiosk \" \r", "Port=-1 Name=Kiosk  Label=Kiosk "},
        {"Port=-1\n; Name=comment\n# Name=also\njunk line\nName='single'\nName=second", "Port=-1 Name=single Label=single"},
        {"Port=-1\nName=\"unbalanced\nName=", "Port=-1 Name=\"unbalanced Label=\"unbalanced"},
        {"Port=-1\nName=Caf\xE9 \xFF=x", "Port=-1 Name=Caf\xE9 \xFF=x Label=Caf\xE9 \xFF=x"}};
    for (const auto& [keys, summary] : cases)
        EXPECT_EQ(Summary(LoadOne(keys)), summary) << keys;
    testing::internal::CaptureStderr();
    LoadOne("Port=0\nIP=10.9.9.9");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "StatusMonitorQ62m: Printer1: IP \"10.9.9.9\" has 8 characters or fewer and is never polled; write the "
              "address in full.\n");
}

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
        EXPECT_EQ(LoadOne(std::string("Port=-1\n") + line).StatusServerSocket, stored) << line;
    }
}

TEST_F(ConfigurationTest, SectionsAndKeysMatchInAnyLetterCaseAndOnlyTheFirstOfTwoSectionsCounts)
{
    const std::string ini = "Printers=9\n[GENERAL]\nprinters=2\nUPDATEINTERVAL=7\n[printer1]\nport=0\nip=127.0.0.9\n"
                            "[PRINTER2]\nPORT=4\n[Printer1]\nIP=127.0.0.2\n[Printer3]\nPort=USB\n";
    EXPECT_EQ(General(ini).PrinterCount, 2);
    EXPECT_EQ(General(ini).UpdateInterval, 7);
    EXPECT_EQ(Read(ini, 0).IP, "127.0.0.9");
    EXPECT_EQ(Read(ini, 1).Port, 4);
}

// Beside the start-up failures that the executable's test runs (a port
// that is a word, an interval too large, no file at all).
TEST_F(ConfigurationTest, AValueThatDoesNotConvertOrFitStopsTheLoad)
{
    const std::pair<std::string, int32_t> cases[] = {
        {"[Printer1]\nPort=\n", kErrTypeMismatch},     {"[Printer1]\n", kErrTypeMismatch},
        {"[Printer1]\nPort=1 2\n", kErrTypeMismatch},  {"[General]\nPrinters=40000\n", kErrOverflow},
        {"[Printer1]\nPort=32768\n", kErrOverflow},    {PrintersIni(11), kErrOverflow},
        {"[General]\nStatusServerAddress=127.1\n", kErrTypeMismatch},
        {"[General]\nMetricsAddress=0\n", kErrTypeMismatch}, {"[General]\nMetricsAddress=127.0.0.1 x\n", kErrTypeMismatch}};
    for (const auto& [ini, number] : cases) {
        dir_.Write("bad.ini", ini + "[Printer1]\nPort=1\n");
        frmMain form(dir_.File("bad.ini"));
        EXPECT_RUNTIME_ERROR(form.Form_Load(), number, "");
    }
}

}  // namespace
