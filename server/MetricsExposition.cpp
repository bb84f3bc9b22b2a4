#include "server/MetricsExposition.h"

#include "runtime/DecimalText.h"
#include "runtime/PrinterProtocol.h"
#include "server/MonitorMetrics.h"
#include "server/StatusStore.h"

#include <QString>
#include <cinttypes>
#include <map>

namespace {

// Names and the configuration are 8-bit text, shown as Latin-1.
std::string LabelValue(const std::string& text)
{
    std::string escaped;
    for (char c : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).toStdString()) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return "\"" + escaped + "\"";
}

std::string Seconds(double value)
{
    return DecimalText(value, std::chars_format::fixed, 3);
}

class Writer {
public:
    void Family(const char* name, const char* type, const char* help)
    {
        text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void Sample(const std::string& name, const std::string& labels, const std::string& value)
    {
        text_ += name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
    }
    std::string text_;
};

}  // namespace

std::string MetricsExposition(const MonitorMetrics& metrics, const StatusStore& store)
{
    const size_t count = metrics.Printers.size();
    auto printer = [](size_t i) { return "printer=\"" + std::to_string(i + 1) + "\""; };
    Writer out;
    out.Family("q62m_printer_info", "gauge", "A configured printer, always 1.");
    for (size_t i = 0; i < count; ++i) {
        const MonitorMetrics::Printer& p = metrics.Printers[i];
        out.Sample("q62m_printer_info",
                   printer(i) + ",name=" + LabelValue(p.Name) + ",transport=\"" + p.Transport
                       + "\",address=" + LabelValue(p.Address),
                   "1");
    }
    out.Family("q62m_printer_answering", "gauge", "1 if the printer's last poll got a good answer, else 0.");
    for (size_t i = 0; i < count; ++i)
        out.Sample("q62m_printer_answering", printer(i), metrics.Printers[i].Answering ? "1" : "0");
    out.Family("q62m_printer_last_answer_timestamp_seconds", "gauge", "Unix time of the printer's last good answer.");
    for (size_t i = 0; i < count; ++i)
        if (metrics.Printers[i].LastAnswer > 0)
            out.Sample("q62m_printer_last_answer_timestamp_seconds", printer(i), Seconds(metrics.Printers[i].LastAnswer));
    // Conditions and fault are known only from a printer's status bytes.
    auto status = [&](size_t i) -> const std::string& { return store.StoredStatus(static_cast<int16_t>(i)); };
    auto known = [&](size_t i) { return status(i).size() >= 2; };
    out.Family("q62m_printer_condition", "gauge", "1 while the printer's stored status carries the condition.");
    for (size_t i = 0; i < count; ++i) {
        if (!known(i))
            continue;
        for (const PrinterProtocol::Condition& c : PrinterProtocol::kConditions)
            out.Sample("q62m_printer_condition", printer(i) + ",condition=\"" + c.name + "\"",
                       (static_cast<uint8_t>(status(i)[c.byte]) & c.mask) ? "1" : "0");
    }
    out.Family("q62m_printer_fault", "gauge", "1 while the printer has a fault, as the window shows it.");
    for (size_t i = 0; i < count; ++i)
        if (known(i))
            out.Sample("q62m_printer_fault", printer(i), metrics.Printers[i].Fault ? "1" : "0");
    out.Family("q62m_polls_total", "counter", "Polls of the printer since the monitor started, by result.");
    for (size_t i = 0; i < count; ++i) {
        out.Sample("q62m_polls_total", printer(i) + ",result=\"answered\"", std::to_string(metrics.Printers[i].Answered));
        out.Sample("q62m_polls_total", printer(i) + ",result=\"no_answer\"",
                   std::to_string(metrics.Printers[i].Unanswered));
    }
    out.Family("q62m_fault_episodes_total", "counter", "Fault episodes that raised the alarm.");
    out.Sample("q62m_fault_episodes_total", "", std::to_string(metrics.FaultEpisodes));
    out.Family("q62m_status_requests_total", "counter", "Status requests answered, by status server port.");
    for (const auto& [port, requests] : metrics.StatusRequests)
        out.Sample("q62m_status_requests_total", "port=\"" + std::to_string(port) + "\"", std::to_string(requests));
    out.Family("q62m_build_info", "gauge", "The monitor's version, always 1.");
    out.Sample("q62m_build_info", "version=" + LabelValue(Q62M_VERSION), "1");
    out.Family("process_start_time_seconds", "gauge", "Unix time the monitor started.");
    out.Sample("process_start_time_seconds", "", Seconds(metrics.StartTime));
    return out.text_;
}
