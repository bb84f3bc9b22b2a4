#pragma once

#include <cstdint>
#include <string>

// What a status server needs of the monitor: the status bytes a printer
// last answered, and word of each request answered from them. The main
// window implements it over its printer table and counters; a test can
// stand in for it.
class StatusStore {
public:
    virtual ~StatusStore() = default;

    // The stored status bytes of the printer with `index`: empty before its
    // first good answer.
    virtual const std::string& StoredStatus(int16_t index) const = 0;

    // The status server on `port` answered a request with stored bytes.
    virtual void StatusRequestAnswered(int32_t port) = 0;
};
