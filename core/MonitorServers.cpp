#include "core/MonitorServers.h"

#include "platform/MSComm.h"
#include "platform/StandardError.h"
#include "printer/PrinterEntry.h"
#include "runtime/ResumeNext.h"
#include "runtime/RuntimeError.h"
#include "server/MetricsServer.h"
#include "server/MonitorMetrics.h"
#include "server/StatusServer.h"
#include "socket/CNetSocket.h"

#include <QTimer>
#include <utility>

MonitorServers::MonitorServers(QObject& timerParent, StatusStore& store, MonitorMetrics& metrics)
    : timerParent_(timerParent), store_(store), metrics_(metrics)
{
}

MonitorServers::~MonitorServers() = default;

void MonitorServers::CreateSockets()
{
    tcpServer1 = std::make_unique<CNetSocket>();
    tcpServer2 = std::make_unique<CNetSocket>();
    tcpServer1->SetProtocol(sckTCPProtocol);
    tcpServer2->SetProtocol(sckTCPProtocol);
    if (!Timer1) {
        Timer1 = new QTimer(&timerParent_);
        Timer2 = new QTimer(&timerParent_);
    }
}

void MonitorServers::CreateStatusServers(const std::string& address)
{
    statusServer1_ = std::make_unique<StatusServer>(store_, *tcpServer1, *Timer1, "tcpServer1", address);
    statusServer2_ = std::make_unique<StatusServer>(store_, *tcpServer2, *Timer2, "tcpServer2", address);
    statusAddress_ = address;
}

// The first two printers with a status port take tcpServer1 and tcpServer2
// in table order; a bind or listen that fails stops start-up.
void MonitorServers::AssignStatusServer(int16_t index, const std::string& port)
{
    CNetSocket* server = tcpServer1->Tag().empty() ? tcpServer1.get()
                       : tcpServer2->Tag().empty() ? tcpServer2.get()
                                                    : nullptr;
    if (!server)
        return;
    server->SetTag(" " + std::to_string(index));
    server->Bind(NetVariant(port), statusAddress_.empty() ? NetVariant(int32_t{0}) : NetVariant(statusAddress_));
    server->Listen();
    // Counted from 0, so that a rate over the first requests has a start.
    metrics_.StatusRequests.emplace(server->LocalPort(), 0);
}

void MonitorServers::Release()
{
    // The connection timers go with their handlers, so neither can fire on a
    // released server.
    const std::pair<std::unique_ptr<StatusServer>*, std::unique_ptr<CNetSocket>*> servers[] = {
        {&statusServer1_, &tcpServer1}, {&statusServer2_, &tcpServer2}};
    for (const auto& [handlers, server] : servers) {
        handlers->reset();
        if (!*server)
            continue;
        CNetSocket& socket = **server;
        if (socket.State() > sckClosed)
            ResumeNext([&socket] { socket.CloseSck(); });
        server->reset();
    }
    metricsServer_.reset();
}

void MonitorServers::StartMetricsEndpoint(int32_t port, const std::string& address)
{
    try {
        metricsServer_ = std::make_unique<MetricsServer>(metrics_, store_, port, address);
    } catch (const RuntimeError& error) {
        ReportLine("metrics endpoint on " + (address.empty() ? std::string("port ") : address + ":")
                   + std::to_string(port) + ": error " + std::to_string(error.Number()) + ": "
                   + error.Description() + " The monitor goes on without it.");
    }
}

void MonitorServers::DescribePrinters(const std::vector<PrinterEntry>& table)
{
    for (const PrinterEntry& entry : table) {
        MonitorMetrics::Printer printer;
        printer.Name = entry.Name;
        printer.Transport = entry.Port < 0 ? "usb" : entry.Port == 0 ? "network" : "serial";
        printer.Address = entry.Port < 0    ? std::string("usb")
                        : entry.Port == 0 ? entry.IP + ":" + entry.Socket
                                          : MSComm::DevicePathFor(entry.Port, entry.Device);
        metrics_.Printers.push_back(printer);
    }
}
