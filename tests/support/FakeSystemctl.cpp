#include "FakeSystemctl.h"

#include <QFile>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

} // namespace

FakeSystemctl::FakeSystemctl()
    : previous_(qgetenv("HOLLIMERE_SYSTEMCTL")),
      hadPrevious_(qEnvironmentVariableIsSet("HOLLIMERE_SYSTEMCTL")) {
    const QString script = dir_.filePath(QStringLiteral("systemctl"));
    writeFile(script, "#!/bin/sh\n"
                      "d=$(dirname \"$0\"); echo \"$*\" >> \"$d/calls\"\n"
                      "[ -f \"$d/hang.$1\" ] && exec sleep 30\n"
                      "[ -f \"$d/out.$1\" ] && cat \"$d/out.$1\"\n"
                      "[ -f \"$d/err.$1\" ] && cat \"$d/err.$1\" >&2\n"
                      "exit \"$(cat \"$d/exit.$1\" 2>/dev/null || echo 0)\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOLLIMERE_SYSTEMCTL", QFile::encodeName(script));
}

FakeSystemctl::~FakeSystemctl() {
    if (hadPrevious_)
        qputenv("HOLLIMERE_SYSTEMCTL", previous_);
    else
        qunsetenv("HOLLIMERE_SYSTEMCTL");
}

void FakeSystemctl::fail(const QString& verb, int status, const QString& stderrText) {
    writeFile(dir_.filePath(QStringLiteral("exit.") + verb), QByteArray::number(status));
    writeFile(dir_.filePath(QStringLiteral("err.") + verb), stderrText.toUtf8());
}

void FakeSystemctl::answer(const QString& verb, const QByteArray& output) {
    writeFile(dir_.filePath(QStringLiteral("out.") + verb), output);
}

void FakeSystemctl::hang(const QString& verb) {
    writeFile(dir_.filePath(QStringLiteral("hang.") + verb), {});
}

QStringList FakeSystemctl::calls() const {
    QFile f(dir_.filePath(QStringLiteral("calls")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}
