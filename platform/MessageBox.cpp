#include "platform/MessageBox.h"

#include "platform/Display.h"
#include "platform/ProgramInfo.h"

#include <QMessageBox>
#include <QString>
#include <cstdio>

void ShowCriticalMessage(const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", kProgramTitle, text.c_str());
    std::fflush(stderr);
    if (IsOffscreenPlatform())
        return;
    QMessageBox::critical(nullptr, QString::fromLatin1(kProgramTitle), QString::fromLatin1(text.c_str()));
}
