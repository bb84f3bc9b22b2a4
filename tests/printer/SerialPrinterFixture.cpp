#include "SerialPrinterFixture.h"

#include "platform/MSComm.h"

void SerialPrinterFixture::Load(const std::string& printer1, int printers, const std::string& more)
{
    form = LoadForm(dir, "[General]\nPrinters=" + std::to_string(printers) + "\n[Printer1]\nPort=3\nDevice="
                             + printer.Path() + "\n" + printer1 + "\n" + more);
}

bool SerialPrinterFixture::PortOpen() const
{
    return form->MSComm1->PortOpen();
}

const std::string& SerialPrinterFixture::Stored(int index) const
{
    return form->PrinterTable.at(static_cast<size_t>(index)).StatusBytes;
}
