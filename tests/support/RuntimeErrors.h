#pragma once

#include "runtime/RuntimeError.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

// The RuntimeError that `step` raised; one with number 0 when it raised none.
inline RuntimeError CaughtError(const std::function<void()>& step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error;
    }
    return RuntimeError(0, "", "");
}

// Expects `step` to raise run-time error `number` from `source` (any source
// when it is empty).
#define EXPECT_RUNTIME_ERROR(step, number, source)                                 \
    do {                                                                           \
        const RuntimeError caught_ = CaughtError([&] { step; });                   \
        EXPECT_EQ(caught_.Number(), (number)) << #step;                            \
        if (!std::string(source).empty())                                          \
            EXPECT_EQ(caught_.Source(), std::string(source)) << #step;             \
    } while (false)
