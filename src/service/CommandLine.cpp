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
