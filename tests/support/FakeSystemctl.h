#pragma once

// A stand-in `systemctl`: a script that records each call and answers with a chosen
// exit status. Points HOLLIMERE_SYSTEMCTL at itself while it lives.

#include <QStringList>
#include <QTemporaryDir>

class FakeSystemctl {
public:
    FakeSystemctl();
    ~FakeSystemctl() { qunsetenv("HOLLIMERE_SYSTEMCTL"); }

    // Calls whose first argument is `verb` exit with `status` and print `stderrText`, print
    // `output`, or never end.
    void fail(const QString& verb, int status, const QString& stderrText = QString()) {
        write("exit." + verb, QByteArray::number(status));
        write("err." + verb, stderrText.toUtf8());
    }
    void answer(const QString& verb, const QByteArray& output) { write("out." + verb, output); }
    void hang(const QString& verb) { write("hang." + verb, {}); }

    // Its folder, where a copy of the script answers and records calls alike.
    [[nodiscard]] QString dir() const { return dir_.path(); }

    // One entry per call: its arguments joined by blanks.
    [[nodiscard]] QStringList calls() const;

private:
    void write(const QString& name, const QByteArray& bytes) const;
    QTemporaryDir dir_;
};
