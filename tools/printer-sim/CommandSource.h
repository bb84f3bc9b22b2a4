#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

// The command lines of one source, standard input or a script file, handed
// out in order. A `sleep` holds back this source's next line until its time
// while the other source goes on. Owned by PrinterSimulator.
class CommandSource {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit CommandSource(std::string name);

    // Appends input as it arrives; only complete lines are handed out.
    void Feed(const char* data, size_t length);
    // End of input: an unterminated last line counts too.
    void Finish();
    // Reads a whole script file. False, with `error` set, when it cannot.
    bool LoadFile(const std::string& path, std::string& error);

    // The next line when one is waiting and no sleep holds it back.
    std::optional<std::string> Next(TimePoint now);
    void SleepUntil(TimePoint wake) { wake_ = wake; }
    // When a sleeping source has a line to hand out; empty otherwise.
    std::optional<TimePoint> WakeTime() const;

    // "script.txt:3" or "stdin:3": the place of the line last handed out.
    std::string Location() const;
    bool Finished() const { return finished_; }

private:
    std::string name_;
    std::string incomplete_;
    std::deque<std::string> lines_;
    std::optional<TimePoint> wake_;
    size_t lineNumber_ = 0;
    bool finished_ = false;
};
