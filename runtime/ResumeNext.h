#pragma once

#include <exception>

// Runs one step of a procedure that clears its errors and goes on with the
// next statement: an error raised by `step` is swallowed.
template <typename Step>
void ResumeNext(Step&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}
