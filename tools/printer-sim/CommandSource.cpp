#include "tools/printer-sim/CommandSource.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

CommandSource::CommandSource(std::string name)
    : name_(std::move(name))
{
}

void CommandSource::Feed(const char* data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (data[i] == '\n') {
            lines_.push_back(std::move(incomplete_));
            incomplete_.clear();
        } else if (data[i] != '\r') {
            incomplete_ += data[i];
        }
    }
}

void CommandSource::Finish()
{
    if (!incomplete_.empty())
        lines_.push_back(std::move(incomplete_));
    incomplete_.clear();
    finished_ = true;
}

bool CommandSource::LoadFile(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read script " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const std::string contents = text.str();
    Feed(contents.data(), contents.size());
    Finish();
    return true;
}

std::optional<std::string> CommandSource::Next(TimePoint now)
{
    if (wake_ && now < *wake_)
        return std::nullopt;
    wake_.reset();
    if (lines_.empty())
        return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    ++lineNumber_;
    return line;
}

std::optional<CommandSource::TimePoint> CommandSource::WakeTime() const
{
    if (!wake_ || lines_.empty())
        return std::nullopt;
    return wake_;
}

std::string CommandSource::Location() const
{
    return name_ + ":" + std::to_string(lineNumber_);
}
