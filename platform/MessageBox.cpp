#include "platform/MessageBox.h"

#include "platform/Display.h"
#include "platform/ProgramInfo.h"
#include "platform/StandardError.h"

#include <QMessageBox>
#include <QString>

namespace {

void ShowBox(QMessageBox::Icon icon, const std::string& title, const std::string& text)
{
    if (IsOffscreenPlatform())
        return;
    QMessageBox box(icon, QString::fromLatin1(title.c_str()), QString::fromLatin1(text.c_str()), QMessageBox::Ok);
    box.exec();
}

}  // namespace

void ShowCriticalMessage(const std::string& text)
{
    ReportLine(text);
    ShowBox(QMessageBox::Critical, kProgramTitle, text);
}

void ShowMessage(const std::string& title, const std::string& text)
{
    ReportLine(title + ": " + text);
    ShowBox(QMessageBox::NoIcon, title, text);
}
