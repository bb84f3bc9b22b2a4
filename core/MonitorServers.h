#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CNetSocket;
class MetricsServer;
class QTimer;
class StatusServer;
class StatusStore;
struct PrinterEntry;
struct MonitorMetrics;

// The monitor's servers from the main window's load to its unload: the two
// status servers, each a socket (tcpServer1, tcpServer2) with its
// connection timer (Timer1, Timer2) and its handlers, answering from the
// store; and the metrics endpoint, when the configuration asks for one,
// reading the metrics. The first two printers with a status port take the
// two servers in table order. Release closes and releases them in that
// order, each server's handlers before its socket, so that no timer fires
// on a released server. The main window owns it and outlives it.
// User-interface thread only.
class MonitorServers {
public:
    // `timerParent` owns the two timers.
    MonitorServers(QObject& timerParent, StatusStore& store, MonitorMetrics& metrics);
    ~MonitorServers();
    MonitorServers(const MonitorServers&) = delete;
    MonitorServers& operator=(const MonitorServers&) = delete;

    // The two sockets and timers, made afresh.
    void CreateSockets();

    // The handlers of both servers, which bind `address` (every local
    // address when empty).
    void CreateStatusServers(const std::string& address);

    // The printer with `index` is served on `port` by the first server
    // without a printer, if any; a bind or listen that fails raises.
    void AssignStatusServer(int16_t index, const std::string& port);

    // A metrics port that cannot be bound stops nothing: the monitor goes
    // on without the endpoint, which is told on standard error.
    void StartMetricsEndpoint(int32_t port, const std::string& address);

    // Each printer of the table as the metrics page names it: its name, its
    // transport and its device, IP:Socket or "usb".
    void DescribePrinters(const std::vector<PrinterEntry>& table);

    void Release();

    std::unique_ptr<CNetSocket> tcpServer1;
    std::unique_ptr<CNetSocket> tcpServer2;
    // 5000 ms, off at start.
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

private:
    QObject& timerParent_;
    StatusStore& store_;
    MonitorMetrics& metrics_;
    std::unique_ptr<StatusServer> statusServer1_;
    std::unique_ptr<StatusServer> statusServer2_;
    std::unique_ptr<MetricsServer> metricsServer_;
    std::string statusAddress_;
};
