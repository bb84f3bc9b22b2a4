/*
 * A stand-in for the printer's USB interface library, built as
 * libZorvadev.so for the tests and the simulator. A test chooses what it
 * does through a control file and reads how often it was called from a
 * counts file, so it can steer a monitor that runs in another process.
 *
 * ZORVADEV_CONTROL names the control file, read again at every
 * GetSpecStatus. Its lines:
 *   bytes 04 00 12 F0   hex bytes written at the start of the buffer (at most 100)
 *   mode ok             write the bytes, return 1
 *   mode nowrite        write nothing, return 1
 *   mode fail           write the bytes, return 0
 *   mode 0x10000        write the bytes, return 0x10000
 * Without the file the library answers bytes 00 00 00 F0 in mode ok.
 *
 * Like a real device library it refuses (returns 0 from GetSpecStatus and
 * CloseDevice) a device that is not open, and GetSpecStatus refuses a size
 * other than 8. On success it stores the number of bytes written in *value.
 *
 * ZORVADEV_COUNTS names the counts file, rewritten at every call with the
 * lines "opens N", "closes N" and "statuses N". Counting goes on from what
 * the file holds, across loads and processes; removing it starts again at 0.
 *
 * Built with ZORVADEV_WITHOUT_GETSPECSTATUS it stands for a broken build of
 * the library that lacks GetSpecStatus.
 */
#define _POSIX_C_SOURCE 200809L

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum { kBufferSize = 100, kMaxOpen = 64, kBadDevice = -1 };

enum Mode { MODE_OK, MODE_NOWRITE, MODE_FAIL, MODE_HIGH_WORD };

struct Control {
    unsigned char bytes[kBufferSize];
    int count;
    enum Mode mode;
};

static int32_t openDevices[kMaxOpen];
static int openCount;
static int32_t nextDevice = 0x5A01;

/* Adds one to the count called `name` in the counts file. The file is
 * replaced by a rename, so a reader in another process never sees half of it. */
static void Count(const char *name)
{
    const char *path = getenv("ZORVADEV_COUNTS");
    if (!path)
        return;
    static const char *const names[] = {"opens", "closes", "statuses"};
    long counts[3] = {0, 0, 0};
    FILE *file = fopen(path, "r");
    if (file) {
        char key[32];
        long value;
        while (fscanf(file, "%31s %ld", key, &value) == 2)
            for (int i = 0; i < 3; i++)
                if (strcmp(key, names[i]) == 0)
                    counts[i] = value;
        fclose(file);
    }
    for (int i = 0; i < 3; i++)
        if (strcmp(name, names[i]) == 0)
            counts[i]++;

    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.%ld.tmp", path, (long)getpid());
    file = fopen(temporary, "w");
    if (!file)
        return;
    for (int i = 0; i < 3; i++)
        fprintf(file, "%s %ld\n", names[i], counts[i]);
    fclose(file);
    rename(temporary, path);
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
    Count("opens");
    if (openCount == kMaxOpen)
        return kBadDevice;
    openDevices[openCount++] = nextDevice;
    return nextDevice++;
}

#ifndef ZORVADEV_WITHOUT_GETSPECSTATUS
static void DefaultControl(struct Control *control)
{
    static const unsigned char allWell[] = {0x00, 0x00, 0x00, 0xF0};
    memset(control, 0, sizeof *control);
    memcpy(control->bytes, allWell, sizeof allWell);
    control->count = sizeof allWell;
    control->mode = MODE_OK;
}

static void ParseBytes(struct Control *control, char *rest)
{
    char *save = NULL;
    control->count = 0;
    for (char *token = strtok_r(rest, " \t\r", &save); token && control->count < kBufferSize;
         token = strtok_r(NULL, " \t\r", &save))
        control->bytes[control->count++] = (unsigned char)strtoul(token, NULL, 16);
}

static void ParseMode(struct Control *control, const char *word)
{
    if (strcmp(word, "nowrite") == 0)
        control->mode = MODE_NOWRITE;
    else if (strcmp(word, "fail") == 0)
        control->mode = MODE_FAIL;
    else if (strcmp(word, "0x10000") == 0)
        control->mode = MODE_HIGH_WORD;
    else
        control->mode = MODE_OK;
}

static void ParseLine(struct Control *control, char *line)
{
    char *save = NULL;
    char *keyword = strtok_r(line, " \t\r", &save);
    if (!keyword)
        return;
    char *rest = save ? save : "";
    if (strcmp(keyword, "bytes") == 0) {
        ParseBytes(control, rest);
    } else if (strcmp(keyword, "mode") == 0) {
        char *word = strtok_r(NULL, " \t\r", &save);
        ParseMode(control, word ? word : "ok");
    }
}

static void ReadControl(struct Control *control)
{
    DefaultControl(control);
    const char *path = getenv("ZORVADEV_CONTROL");
    FILE *file = path ? fopen(path, "r") : NULL;
    if (!file)
        return;
    char line[1024];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\n")] = '\0';
        ParseLine(control, line);
    }
    fclose(file);
}

EXPORT int32_t GetSpecStatus(int32_t device, char *buffer, int32_t eight, int32_t *value)
{
    Count("statuses");
    struct Control control;
    ReadControl(&control);
    if (FindOpen(device) < 0 || eight != 8 || !buffer || !value)
        return 0;
    if (control.mode != MODE_NOWRITE) {
        memcpy(buffer, control.bytes, (size_t)control.count);
        *value = control.count;
    }
    switch (control.mode) {
    case MODE_FAIL:
        return 0;
    case MODE_HIGH_WORD:
        return 0x10000;
    default:
        return 1;
    }
}

#endif

EXPORT int32_t CloseDevice(int32_t device)
{
    Count("closes");
    const int index = FindOpen(device);
    if (index < 0)
        return 0;
    openDevices[index] = openDevices[--openCount];
    return 1;
}
