#include "platform/SoundEvents.h"

#include "platform/ProgramInfo.h"
#include "platform/StandardError.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>

bool SoundEvents::PlayBell()
{
    if (!context_ && !Open())
        return false;
    const int error = play_(context_, 0, "event.id", "bell", "event.description", "printer fault",
                            "application.name", kProgramTitle, nullptr);
    if (error != 0)
        TellOnce("ca_context_play(bell)", TextOf(error));
    return error == 0;
}

bool SoundEvents::Open()
{
    if (tried_)
        return false;
    tried_ = true;
    void* library = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        TellOnce("dlopen(libcanberra.so.0)", dlerror());
        return false;
    }
    const auto create = reinterpret_cast<Create>(dlsym(library, "ca_context_create"));
    const auto setDriver = reinterpret_cast<SetDriver>(dlsym(library, "ca_context_set_driver"));
    play_ = reinterpret_cast<Play>(dlsym(library, "ca_context_play"));
    strerror_ = reinterpret_cast<ErrorText>(dlsym(library, "ca_strerror"));
    if (!create || !setDriver || !play_) {
        TellOnce("dlsym(ca_context_create, ca_context_set_driver, ca_context_play)", "not in libcanberra.so.0");
        return false;
    }
    const char* driver = SoundOutput();
    if (!driver) {
        TellOnce("libcanberra", "no sound server and no sound card");
        return false;
    }
    void* context = nullptr;
    int error = create(&context);
    if (error == 0 && (error = setDriver(context, driver)) == 0)
        context_ = context;
    else
        TellOnce(std::string("libcanberra(") + driver + ")", TextOf(error));
    return context_ != nullptr;
}

// The session's sound server (PulseAudio, or PipeWire speaking its
// protocol), else the first sound card through ALSA. Chosen here, because
// ALSA without a card writes its complaints straight to standard error.
const char* SoundEvents::SoundOutput()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    if (std::getenv("PULSE_SERVER")
        || (runtime && std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native", error)))
        return "pulse";
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error))
        if (entry.path().filename().string().starts_with("pcmC"))
            return "alsa";
    return nullptr;
}

std::string SoundEvents::TextOf(int error) const
{
    return strerror_ ? strerror_(error) : "error " + std::to_string(error);
}

void SoundEvents::TellOnce(const std::string& call, const std::string& text)
{
    if (!told_)
        ReportFailedCall(call, text, "the fault alarm is silent on this desktop");
    told_ = true;
}
