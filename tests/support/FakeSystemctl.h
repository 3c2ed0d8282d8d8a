#pragma once

// A stand-in `systemctl`: a script that records each call and answers with a chosen
// exit status. Points HOLLIMERE_SYSTEMCTL at itself while it lives.

#include <QStringList>
#include <QTemporaryDir>

class FakeSystemctl {
public:
    FakeSystemctl();
    ~FakeSystemctl();
    FakeSystemctl(const FakeSystemctl&) = delete;
    FakeSystemctl& operator=(const FakeSystemctl&) = delete;

    // Calls whose first argument is `verb` exit with `status` and print `stderrText`.
    void fail(const QString& verb, int status, const QString& stderrText = QString());
    // Calls whose first argument is `verb` print `output`.
    void answer(const QString& verb, const QByteArray& output);
    // Calls whose first argument is `verb` never end.
    void hang(const QString& verb);

    // One entry per call: its arguments joined by blanks.
    [[nodiscard]] QStringList calls() const;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};
