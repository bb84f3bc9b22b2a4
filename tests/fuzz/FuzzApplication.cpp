#include "fuzz/FuzzApplication.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

void StartFuzzApplication()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Lives for the whole run; libFuzzer ends the process without unwinding.
    static int argc = 1;
    static char name[] = "q62m-fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

void FuzzFailure(const std::string& what)
{
    std::fprintf(stderr, "fuzz finding: %s\n", what.c_str());
    std::abort();
}
