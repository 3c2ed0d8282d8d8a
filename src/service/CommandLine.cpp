#include "CommandLine.h"

Switches ParseSwitches(const QString& commandLine) {
    Switches s;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        if (commandLine.at(i) != u'-')
            continue;
        qsizetype end = commandLine.indexOf(u' ', i + 1);
        if (end < 0)
            end = commandLine.size();
        const QString word = commandLine.mid(i + 1, end - i - 1).trimmed().toLower();
        if (word == u"setup")
            s.setup = true;
        else if (word == u"install")
            s.install = true;
        else if (word == u"uninstall")
            s.uninstall = true;
        else if (word == u"debug")
            s.debug = true;
        else if (word == u"query")
            s.query = s.debug = true;
        else if (word == u"help")
            s.help = true;
        else if (word == u"version")
            s.version = true;
    }
    return s;
}

Switches ParseSwitches(const QStringList& arguments) {
    return ParseSwitches(arguments.join(u' '));
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
