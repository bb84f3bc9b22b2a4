/*
 * A broken build of the printer's USB library: it loads, but offers only
 * OpenDevice. Tests install it as libZorvadev.so to see how a missing
 * function is reported.
 */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t OpenDevice(void)
{
    return 0x5A01;
}
