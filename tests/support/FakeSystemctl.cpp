#include "FakeSystemctl.h"

#include <QFile>

FakeSystemctl::FakeSystemctl() {
    write("systemctl", "#!/bin/sh\n"
                       "d=$(dirname \"$0\"); echo \"$*\" >> \"$d/calls\"\n"
                       "[ -f \"$d/hang.$1\" ] && exec sleep 30\n"
                       "[ -f \"$d/out.$1\" ] && cat \"$d/out.$1\"\n"
                       "[ -f \"$d/err.$1\" ] && cat \"$d/err.$1\" >&2\n"
                       "exit \"$(cat \"$d/exit.$1\" 2>/dev/null || echo 0)\"\n");
    const QString script = dir_.filePath(QStringLiteral("systemctl"));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOLLIMERE_SYSTEMCTL", QFile::encodeName(script));
}

void FakeSystemctl::write(const QString& name, const QByteArray& bytes) const {
    QFile f(dir_.filePath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QStringList FakeSystemctl::calls() const {
    QFile f(dir_.filePath(QStringLiteral("calls")));
    return f.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
               : QStringList();
}
