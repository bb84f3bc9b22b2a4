// Holds a serial device open as another serial program would, until its
// standard input ends, so that a test can find the device busy.
#include "core/RuntimeError.h"
#include "platform/MSComm.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: q62m-serial-holder DEVICE\n");
        return 2;
    }
    MSComm port;
    port.SetDevicePath(argv[1]);
    try {
        port.SetPortOpen(true);
    } catch (const RuntimeError& error) {
        std::fprintf(stderr, "q62m-serial-holder: %s\n", error.what());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
