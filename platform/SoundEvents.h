#pragma once

#include <cstdint>
#include <string>

// The desktop's sound events through libcanberra, loaded with dlopen when
// the first sound is asked for: a kiosk without the library still runs,
// silent, and building the monitor needs nothing of it. Owns the library's
// context for the program's life. The beep of the fault alarm uses one on
// Wayland, where Qt has no bell. User-interface thread only.
class SoundEvents {
public:
    // Plays the sound theme's "bell"; false when it cannot. The first
    // reason it cannot is told on standard error, later ones are not.
    bool PlayBell();

private:
    using Create = int (*)(void**);
    using SetDriver = int (*)(void*, const char*);
    using Play = int (*)(void*, uint32_t, ...);
    using ErrorText = const char* (*)(int);

    bool Open();
    static const char* SoundOutput();
    std::string TextOf(int error) const;
    void TellOnce(const std::string& call, const std::string& text);

    bool tried_ = false;
    bool told_ = false;
    void* context_ = nullptr;
    Play play_ = nullptr;
    ErrorText strerror_ = nullptr;
};
