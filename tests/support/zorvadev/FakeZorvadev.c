/*
 * A stand-in for the printer's USB interface library, built as
 * libZorvadev.so for the tests and the benchmarks. A test chooses what it
 * does through a control file and reads how often it was called from a
 * counts file, so it can steer a monitor that runs in another process.
 *
 * ZORVADEV_CONTROL names the control file, read again at every
 * GetSpecStatus: its first byte is the mode, the rest (at most 100 bytes)
 * what is written at the start of the buffer.
 *   o   write the bytes, return 1
 *   n   write nothing, return 1
 *   f   write the bytes, return 0
 *   h   write the bytes, return 0x10000
 * Without the file the library answers 00 00 00 F0 in mode o.
 *
 * Like a real device library it refuses (returns 0 from GetSpecStatus and
 * CloseDevice) a device that is not open, and GetSpecStatus refuses a size
 * other than 8. On success it stores the number of bytes written in *value.
 *
 * ZORVADEV_COUNTS names the counts file, to which every call appends one
 * letter: o for OpenDevice, s for GetSpecStatus, c for CloseDevice. Counting
 * goes on across loads and processes; removing the file starts again.
 *
 * Built with ZORVADEV_WITHOUT_GETSPECSTATUS it stands for a broken build of
 * the library that lacks GetSpecStatus.
 */
#define _POSIX_C_SOURCE 200809L

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kBufferSize = 100, kMaxOpen = 64, kBadDevice = -1 };

static int32_t openDevices[kMaxOpen];
static int openCount;
static int32_t nextDevice = 0x5A01;

/* One letter appended in one write, so that counts from several processes
 * never mix. */
static void Count(char letter)
{
    const char *path = getenv("ZORVADEV_COUNTS");
    int fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    if (fd < 0)
        return;
    ssize_t ignored = write(fd, &letter, 1);
    (void)ignored;
    close(fd);
}

static int FindOpen(int32_t device)
{
    for (int i = 0; i < openCount; i++)
        if (openDevices[i] == device)
            return i;
    return -1;
}

EXPORT int32_t OpenDevice(void)
{
    Count('o');
    if (openCount == kMaxOpen)
        return kBadDevice;
    openDevices[openCount++] = nextDevice;
    return nextDevice++;
}

#ifndef ZORVADEV_WITHOUT_GETSPECSTATUS
EXPORT int32_t GetSpecStatus(int32_t device, char *buffer, int32_t eight, int32_t *value)
{
    Count('s');
    unsigned char control[1 + kBufferSize] = {'o', 0x00, 0x00, 0x00, 0xF0};
    ssize_t length = 5;
    const char *path = getenv("ZORVADEV_CONTROL");
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd >= 0) {
        length = read(fd, control, sizeof control);
        close(fd);
    }
    if (FindOpen(device) < 0 || eight != 8 || !buffer || !value || length < 1)
        return 0;
    if (control[0] != 'n') {
        memcpy(buffer, control + 1, (size_t)length - 1);
        *value = (int32_t)length - 1;
    }
    return control[0] == 'f' ? 0 : control[0] == 'h' ? 0x10000 : 1;
}
#endif

EXPORT int32_t CloseDevice(int32_t device)
{
    Count('c');
    const int index = FindOpen(device);
    if (index < 0)
        return 0;
    openDevices[index] = openDevices[--openCount];
    return 1;
}
