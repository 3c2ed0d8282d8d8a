#pragma once

// The configuration that both programs hold: what the data file stores, as the
// programs use it. Numeric settings stay text, exactly as stored.

#include <QString>
#include <array>

inline constexpr int AccountSlots = 301;
inline constexpr int StoredAccounts = 100;
inline constexpr int MachineCount = 32;
inline constexpr int NoMailDayCount = 8; // Sunday..Saturday, then the "Check All" box

struct ConfigSettings {
    QString PopTimeout;
    QString SmtpTimeout;
    QString PostmasterMailbox;
    QString SmtpServer;
    QString SmtpUserName;
    QString SmtpPassword;
    QString SmtpPort;
    QString LocalDomain;
    qint16 CheckInterval = 0;
    QString SendToPostmaster;
    QString MultitaskMode;
    QString LogMode;
    QString NoInternetCheck;
    QString FileKey;
    std::array<bool, NoMailDayCount> NoMailDays{};
    bool ArrayMember = false;
    bool ArrayPrimary = false;
    QString ArrayText1;
    QString ArrayText2;
    QString ArrayText3;

    bool operator==(const ConfigSettings&) const = default;
};

struct AccountRecord {
    QString AccountName;
    QString MailServer;
    QString UserName;
    QString Password;
    bool GlobalMailHost = false;
    QString ExchangeUser;
    QString RemoteDomain;
    bool KeepMailOnHost = false;

    bool operator==(const AccountRecord&) const = default;
};

struct ArrayMachine {
    QString MachineName;
    bool MachineFlag1 = false;
    bool MachineFlag2 = false;
    QString MachineText;

    bool operator==(const ArrayMachine&) const = default;
};

struct Configuration {
    ConfigSettings Settings;
    std::array<AccountRecord, AccountSlots> Accounts;
    std::array<ArrayMachine, MachineCount> Machines;

    bool operator==(const Configuration&) const = default;
};
