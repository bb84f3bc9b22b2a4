// Runs one USB status read through UsbLibrary with its default search, the
// way the monitor does, so a test can see which library a real executable
// loads from where. Prints "result N bytes XX XX XX XX" and exits 0, or
// prints "error N: description (source)" and exits 2.
#include "core/RuntimeError.h"
#include "platform/UsbLibrary.h"

#include <cstdio>
#include <string>

int main()
{
    UsbLibrary usb;
    try {
        const int32_t device = usb.OpenDevice();
        std::string buffer(UsbLibrary::kBufferSize, ' ');
        int32_t value = 0;
        const int32_t result = usb.GetSpecStatus(device, buffer, 8, value);
        usb.CloseDevice(device);
        std::printf("result %d bytes", static_cast<int>(result));
        for (int i = 0; i < 4; i++)
            std::printf(" %02X", static_cast<unsigned char>(buffer[i]));
        std::printf("\n");
        return 0;
    } catch (const RuntimeError& error) {
        std::printf("error %d: %s (%s)\n", static_cast<int>(error.Number()),
                    error.Description().c_str(), error.Source().c_str());
        return 2;
    }
}
