#include "modHelp.h"

#include "Folders.h"
#include "MessageBoxes.h"
#include "StringTable.h"
#include "UpdateCheck.h"
#include "frmWaitAni.h"

#include <QObject>
#include <QProcess>
#include <QStandardPaths>

namespace modHelp {

const QStringList HelpFiles = {
    QStringLiteral("basicop.htp"),      QStringLiteral("contents.htp"),
    QStringLiteral("errors.htp"),       QStringLiteral("installsvc.htp"),
    QStringLiteral("introduction.htp"), QStringLiteral("requirements.htp"),
    QStringLiteral("revisions.htp"),    QStringLiteral("setup.htp"),
    QStringLiteral("support.htp"),      QStringLiteral("uninstallsvc.htp"),
    QStringLiteral("mainhelp.gif"),     QStringLiteral("accmake.htp"),
    QStringLiteral("accremv.htp"),      QStringLiteral("accprop.htp"),
    QStringLiteral("accounts.htp"),     QStringLiteral("faq.htp")};

const QStringList SysInfoPrograms = {QStringLiteral("hardinfo"),
                                     QStringLiteral("gnome-system-monitor"),
                                     QStringLiteral("plasma-systemmonitor"),
                                     QStringLiteral("ksysguard"),
                                     QStringLiteral("mate-system-monitor"),
                                     QStringLiteral("xfce4-taskmanager"),
                                     QStringLiteral("lxtask")};

namespace {

const QString BugBody = QStringLiteral(
    "1. Please copy events or attach an event log to this email.  Under our privacy policy, "
    "we will not use your event log for anything other than to fix the bug submitted.  "
    "2. Explain as much as you can of the situation which caused the error or bug.");

QString mailLink(const QString& address, const QString& subject, const QString& body) {
    return QStringLiteral("mailto: ") + address + QStringLiteral("?subject=") + subject +
           QStringLiteral("&body=") + body;
}

const QString UpdateTitle = QStringLiteral("Update");

} // namespace

QUrl HelpWebFolder() {
    const QString base = UpdateCheck::ServerBase();
    return base.isEmpty() ? QUrl()
                          : QUrl(base + QStringLiteral("/us/software/qvlGateway/AppHelpV3/"));
}

QString BugAddress() {
    return QStringLiteral(HOLLIMERE_BUG_ADDRESS);
}

QString SuggestionAddress() {
    return QStringLiteral(HOLLIMERE_SUGGESTION_ADDRESS);
}

QString MenuVersionText() {
    return QStringLiteral("%1.%2 %3")
        .arg(UpdateCheck::ProgramMajor)
        .arg(UpdateCheck::ProgramMinor)
        .arg(HOLLIMERE_VERSION_REVISION);
}

QString BugMailLink(const QString& version) {
    return mailLink(BugAddress(), QStringLiteral("BUG: QVL_POP3-") + version, BugBody);
}

QString SuggestionMailLink(const QString& version, From from) {
    const QString body =
        from == From::Menu
            ? QStringLiteral("Please add your comments about a feature you wish to see, "
                             "something your wish would be changed or any general comments "
                             "that you may have.")
            : QStringLiteral("Please add your explanation of a feature you wish to see, "
                             "something your wish to would be changed or general comments.");
    return mailLink(SuggestionAddress(), QStringLiteral("SUGGESTION: QVL_POP3-") + version, body);
}

void StartSysInfo(MessageBoxes& boxes) {
    for (const QString& name : SysInfoPrograms) {
        const QString program = QStandardPaths::findExecutable(name);
        if (!program.isEmpty() && QProcess::startDetached(program, {}))
            return;
    }
    boxes.show({LoadResString(313), LoadResString(312), MsgBox::Icon::Information});
}

void CheckForNewVersion(QWidget* owner, MessageBoxes& boxes) {
    if (UpdateCheck::VersionFileUrl().isEmpty()) {
        boxes.show({QObject::tr("No update server is set up for this installation."), UpdateTitle,
                    MsgBox::Icon::Information});
        return;
    }
    const QString localCopy = Folders::State() + QStringLiteral("/Revision.dat");
    RunWaiting(
        owner, [localCopy] { return UpdateCheck::FetchVersionText(localCopy); },
        [&boxes](std::optional<std::optional<QString>> fetched) {
            if (!fetched)
                return;
            const std::optional<QString>& text = *fetched;
            if (!text) {
                boxes.show({QObject::tr("The version file could not be fetched from %1.")
                                .arg(UpdateCheck::VersionFileUrl().toDisplayString()),
                            UpdateTitle, MsgBox::Icon::Exclamation});
                return;
            }
            // A file that is not a version must not pass for "up to date".
            if (!UpdateCheck::ReadVersion(*text)) {
                boxes.show({QObject::tr("The version file from the web site could not be read."),
                            UpdateTitle, MsgBox::Icon::Exclamation});
                return;
            }
            const bool newer = UpdateCheck::IsNewerVersion(*text);
            boxes.show({newer ? QStringLiteral("There is a new version (") + text->trimmed() +
                                    QStringLiteral(") of this service available.")
                              : QStringLiteral("Most updated version is currently installed."),
                        UpdateTitle, MsgBox::Icon::Information});
        });
}

} // namespace modHelp
