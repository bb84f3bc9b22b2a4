#include "support/LoadedForm.h"

#include <gtest/gtest.h>

std::string PrintersIni(int count, const std::string& printer, const std::string& general)
{
    std::string ini = "[General]\n" + general + "\nPrinters=" + std::to_string(count) + "\n";
    for (int i = 1; i <= count; ++i)
        ini += "\n[Printer" + std::to_string(i) + "]\n" + printer;
    return ini + "\n";
}

std::unique_ptr<frmMain> LoadForm(const TempDir& dir, const std::string& ini)
{
    dir.Write("StatusMonitorQ62m.ini", ini);
    auto form = std::make_unique<frmMain>(dir.File("StatusMonitorQ62m.ini"));
    EXPECT_TRUE(form->Form_Load()) << ini;
    return form;
}
