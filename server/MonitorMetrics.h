#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the metrics endpoint reports beyond the stored status bytes: each
// printer as configured, counts since start and what each printer's polls
// found. The main window owns it and describes the printers at its load;
// the polls, the monitor loop and the status servers update it on the
// user-interface thread, whether or not an endpoint serves it.
struct MonitorMetrics {
    struct Printer {
        // As configured: the name, "serial", "network" or "usb", and the
        // device, IP:Socket or "usb".
        std::string Name;
        std::string Transport;
        std::string Address;
        uint64_t Answered = 0;
        uint64_t Unanswered = 0;
        // The last poll got a good answer.
        bool Answering = false;
        // The last good answer showed a fault, as the window counts it.
        bool Fault = false;
        // Unix time of the last good answer; 0 before the first.
        double LastAnswer = 0;
    };

    static double UnixNow()
    {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    }

    // A poll of the printer with `index` ended, with a good answer or none;
    // `fault` is what a good answer showed.
    void RecordPoll(int16_t index, bool answered, bool fault)
    {
        if (index < 0 || static_cast<size_t>(index) >= Printers.size())
            return;
        Printer& printer = Printers[static_cast<size_t>(index)];
        printer.Answering = answered;
        if (!answered) {
            ++printer.Unanswered;
            return;
        }
        ++printer.Answered;
        printer.Fault = fault;
        printer.LastAnswer = UnixNow();
    }

    double StartTime = UnixNow();
    std::vector<Printer> Printers;
    // Fault episodes whose alarm was raised.
    uint64_t FaultEpisodes = 0;
    // Status requests answered, by the status server's port; each server
    // that listens counts from 0.
    std::map<int32_t, uint64_t> StatusRequests;
};
