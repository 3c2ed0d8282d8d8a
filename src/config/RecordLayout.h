#pragma once

// Where every value of the configuration lives in the data file and how a load reads
// it: the one list that LoadData and SaveData both follow.

#include "ConfigModel.h"

#include <variant>

namespace FileMod {

// How a load reads a record's text. A blank text (empty or spaces only) takes the default
// where there is one, except under DefaultIfEmpty, where only the empty text does.
enum class ReadRule {
    AsStored,
    DefaultIfBlank,
    DefaultIfEmpty,
    Boolean, // True, False or a number (non-zero is True); other text fails the load
    NonZero, // True when the leading number is not 0
    Flag,    // False when blank or "0", True otherwise
    Minutes, // the leading number rounded down; outside 16 bits fails the load
};

// The model's field a record fills. An array fills one record per element, in a row.
template <class Owner>
using Member = std::variant<QString Owner::*, bool Owner::*, qint16 Owner::*,
                            std::array<bool, NoMailDayCount> Owner::*>;

template <class Owner> struct Field {
    int record; // of account slot 0 or machine entry 0
    const char* name;
    ReadRule rule;
    const char* fallback; // the default the rule gives
    Member<Owner> member;
};

// Holds FileKey scrambled with the fixed key; every other record is scrambled with it.
inline constexpr int KeyRecord = 1010;

// Account slot n lies at record + n. A blank name means no account: the other records
// are then not read, and the save leaves out a slot without name, server, user or
// password.
inline constexpr int AccountStep = 1;
inline constexpr Field<AccountRecord> AccountFields[] = {
    {1, "AccountName", ReadRule::AsStored, "", &AccountRecord::AccountName},
    {102, "MailServer", ReadRule::AsStored, "", &AccountRecord::MailServer},
    {202, "UserName", ReadRule::AsStored, "", &AccountRecord::UserName},
    {302, "Password", ReadRule::AsStored, "", &AccountRecord::Password},
    {402, "GlobalMailHost", ReadRule::Boolean, "0", &AccountRecord::GlobalMailHost},
    {502, "ExchangeUser", ReadRule::AsStored, "", &AccountRecord::ExchangeUser},
    {602, "RemoteDomain", ReadRule::AsStored, "", &AccountRecord::RemoteDomain},
    {702, "KeepMailOnHost", ReadRule::NonZero, "0", &AccountRecord::KeepMailOnHost},
};

inline constexpr Field<ConfigSettings> SettingFields[] = {
    {997, "PopTimeout", ReadRule::DefaultIfBlank, "30", &ConfigSettings::PopTimeout},
    {998, "SmtpTimeout", ReadRule::DefaultIfBlank, "30", &ConfigSettings::SmtpTimeout},
    {999, "PostmasterMailbox", ReadRule::DefaultIfBlank, "Administrator",
     &ConfigSettings::PostmasterMailbox},
    {1000, "SmtpServer", ReadRule::AsStored, "", &ConfigSettings::SmtpServer},
    {1001, "SmtpUserName", ReadRule::AsStored, "", &ConfigSettings::SmtpUserName},
    {1002, "SmtpPassword", ReadRule::AsStored, "", &ConfigSettings::SmtpPassword},
    {1003, "SmtpPort", ReadRule::AsStored, "", &ConfigSettings::SmtpPort},
    {1004, "LocalDomain", ReadRule::AsStored, "", &ConfigSettings::LocalDomain},
    {1005, "CheckInterval", ReadRule::Minutes, "10", &ConfigSettings::CheckInterval},
    {1006, "SendToPostmaster", ReadRule::DefaultIfEmpty, "0", &ConfigSettings::SendToPostmaster},
    {1007, "MultitaskMode", ReadRule::DefaultIfEmpty, "0", &ConfigSettings::MultitaskMode},
    {1008, "LogMode", ReadRule::DefaultIfEmpty, "2", &ConfigSettings::LogMode},
    {1009, "NoInternetCheck", ReadRule::DefaultIfEmpty, "0", &ConfigSettings::NoInternetCheck},
    {1011, "NoMailDays", ReadRule::Flag, "", &ConfigSettings::NoMailDays},
    {2800, "ArrayMember", ReadRule::Flag, "", &ConfigSettings::ArrayMember},
    {2810, "ArrayText1", ReadRule::AsStored, "", &ConfigSettings::ArrayText1},
    {2820, "ArrayPrimary", ReadRule::Flag, "", &ConfigSettings::ArrayPrimary},
    {2830, "ArrayText2", ReadRule::AsStored, "", &ConfigSettings::ArrayText2},
    {2840, "ArrayText3", ReadRule::AsStored, "", &ConfigSettings::ArrayText3},
};

// Machine entry i lies at record + 10i, in two blocks. The console writes the first;
// a load reads it (its flags and text only for a named entry) and then replaces it by
// the second, which only files from elsewhere hold.
inline constexpr int MachineStep = 10;
inline constexpr Field<ArrayMachine> MachineFields[] = {
    {2000, "MachineName", ReadRule::AsStored, "", &ArrayMachine::MachineName},
    {2001, "MachineFlag1", ReadRule::Flag, "", &ArrayMachine::MachineFlag1},
    {2002, "MachineFlag2", ReadRule::Flag, "", &ArrayMachine::MachineFlag2},
    {2003, "MachineText", ReadRule::AsStored, "", &ArrayMachine::MachineText},
};
inline constexpr Field<ArrayMachine> LaterMachineFields[] = {
    {3001, "MachineName", ReadRule::AsStored, "", &ArrayMachine::MachineName},
    {3002, "MachineText", ReadRule::AsStored, "", &ArrayMachine::MachineText},
    {3003, "MachineFlag2", ReadRule::Flag, "", &ArrayMachine::MachineFlag2},
    {3004, "MachineFlag1", ReadRule::Flag, "", &ArrayMachine::MachineFlag1},
};

} // namespace FileMod
