#pragma once

// The settings as the service works with them: read from the loaded configuration once
// per cycle, by the data file's reading rules, so that no user parses stored text again.

#include "ConfigModel.h"

#include <QString>
#include <array>
#include <optional>

// How much the service writes to the event log.
enum class LogLevel { Low = 1, Medium = 2, High = 3 };

struct ServiceSettings {
    qint32 popTimeout = 30;  // seconds to wait for a POP3 reply
    qint32 smtpTimeout = 30; // seconds to wait for an SMTP reply
    QString smtpServer;
    QString smtpPortText;            // as stored, to name it in a report
    std::optional<quint16> smtpPort; // nullopt when smtpPortText is not a port 1..65535
    QString localDomain;
    QString postmasterMailbox;
    bool sendToPostmaster = false; // undeliverable mail goes to postmasterMailbox
    bool multitask = false;
    bool internetCheck = true; // check the connection before each cycle
    LogLevel logLevel = LogLevel::Medium;
    std::array<bool, 7> noMailDays{}; // Sunday..Saturday
};

[[nodiscard]] ServiceSettings ReadServiceSettings(const ConfigSettings& stored);
