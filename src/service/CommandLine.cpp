#include "CommandLine.h"

#include <utility>

Switches ParseSwitches(const QStringList& arguments) {
    static constexpr std::pair<const char16_t*, bool Switches::*> Words[] = {
        {u"install", &Switches::install}, {u"uninstall", &Switches::uninstall},
        {u"debug", &Switches::debug},     {u"setup", &Switches::setup},
        {u"query", &Switches::query},     {u"help", &Switches::help},
        {u"version", &Switches::version}};
    const QString line = arguments.join(u' ');
    Switches s;
    for (qsizetype i = line.indexOf(u'-'); i >= 0; i = line.indexOf(u'-', i + 1)) {
        const QString word = line.mid(i + 1).section(u' ', 0, 0).trimmed().toLower();
        for (const auto& [name, flag] : Words)
            s.*flag = s.*flag || word == name;
    }
    s.debug = s.debug || s.query;
    return s;
}

StartupAction Decide(const Switches& s, bool underServiceManager) {
    if (s.help)
        return StartupAction::ShowHelp;
    if (s.version)
        return StartupAction::ShowVersion;
    if (s.install && s.uninstall)
        return StartupAction::Conflict;
    if (s.uninstall)
        return StartupAction::Uninstall;
    if (s.install)
        return StartupAction::Install;
    if (s.setup)
        return StartupAction::Setup;
    if (s.query)
        return StartupAction::RunQuery;
    if (s.debug)
        return StartupAction::RunDebug;
    return underServiceManager ? StartupAction::RunService : StartupAction::ExplainUsage;
}
