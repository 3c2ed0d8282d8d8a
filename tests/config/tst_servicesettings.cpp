#include "RecordLayout.h"
#include "ServiceSettings.h"

#include <QTest>

using namespace FileMod;

namespace {

// Sets the stored text setting the layout names `field`.
void store(ConfigSettings& settings, const QString& field, const QString& text) {
    for (const auto& f : SettingFields) {
        if (field == QLatin1String(f.name))
            settings.*std::get<QString ConfigSettings::*>(f.member) = text;
    }
}

QString reading(const ServiceSettings& s, const QString& field) {
    if (field == u"PopTimeout")
        return QString::number(s.popTimeout);
    if (field == u"SmtpPort")
        return s.smtpPort ? QString::number(*s.smtpPort) : QStringLiteral("unusable");
    if (field == u"LogMode")
        return QString::number(int(s.logLevel));
    const bool flag = field == u"SendToPostmaster" ? s.sendToPostmaster
                      : field == u"MultitaskMode"  ? s.multitask
                                                   : s.internetCheck;
    return flag ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

class TestServiceSettings : public QObject {
    Q_OBJECT

private slots:
    void readRules_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* field, const char* stored, const char* expected) {
            QTest::addRow("%s \"%s\"", field, stored)
                << QString::fromLatin1(field) << QString::fromLatin1(stored)
                << QString::fromLatin1(expected);
        };
        row("PopTimeout", " 45 sec", "45");
        row("PopTimeout", "30.9", "30");
        row("PopTimeout", "-0.5", "-1"); // ends a wait at once, as the text did
        row("PopTimeout", "soon", "0");
        row("PopTimeout", "99999999999", "2147483647");
        row("SmtpPort", " 25 ", "25");
        row("SmtpPort", "65535", "65535");
        row("SmtpPort", "65536", "unusable");
        row("SmtpPort", "0", "unusable");
        row("SmtpPort", "25x", "unusable");
        row("LogMode", "3", "3");
        row("LogMode", "2.9", "2");
        row("LogMode", "7", "3");
        row("LogMode", " ", "1");
        row("SendToPostmaster", "1.0", "true");
        row("SendToPostmaster", "2", "false");
        row("MultitaskMode", "true", "true");
        row("MultitaskMode", "-1", "true");
        row("MultitaskMode", "yes", "false");
        row("NoInternetCheck", "0", "true");
        row("NoInternetCheck", " 0", "false");
    }
    void readRules() {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        ConfigSettings settings;
        store(settings, field, stored);
        QCOMPARE(reading(ReadServiceSettings(settings), field), expected);
    }
};

QTEST_GUILESS_MAIN(TestServiceSettings)
#include "tst_servicesettings.moc"
