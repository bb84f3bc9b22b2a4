#include "SerialPrinterFixture.h"

#include "platform/EventPump.h"
#include "platform/MSComm.h"

#include <QElapsedTimer>

void SerialPrinterFixture::Load(const std::string& printer1, int printers, const std::string& more)
{
    dir.Write("q.ini", "[General]\nPrinters=" + std::to_string(printers) + "\n[Printer1]\nPort=3\nDevice="
                           + printer.Path() + "\n" + printer1 + "\n" + more);
    form = std::make_unique<frmMain>(dir.File("q.ini"));
    ASSERT_TRUE(form->Form_Load());
}

bool SerialPrinterFixture::PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 2000)
            return false;
        WaitForEvents(10);
    }
    return true;
}

bool SerialPrinterFixture::PortOpen() const
{
    return form->MSComm1->PortOpen();
}

const std::string& SerialPrinterFixture::Stored(int index) const
{
    return form->PrinterTable.at(static_cast<size_t>(index)).StatusBytes;
}
