#include "MainMod.h"

#include "ConsoleDocument.h"
#include "FileMod.h"
#include "Folders.h"
#include "MessageBoxes.h"
#include "ServiceName.h"
#include "UpdateCheck.h"
#include "frmManagement.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <cstdio>

QString MainMod::HelpFolder;

std::optional<int> MainMod::AnswerCommandLine(const QStringList& arguments) {
    QString text;
    if (arguments.contains(QStringLiteral("--help")))
        text = QStringLiteral("Usage: hollicon [--help | --version] [Qt options]\n"
                              "\n"
                              "The management console of Hollimere: edits the data file and\n"
                              "controls the service %1.\n"
                              "\n"
                              "Data file:  %2\n"
                              "See hollicon(1).")
                   .arg(QLatin1String(ServiceName), FileMod::DataFilePath(Folders::Data()));
    else if (arguments.contains(QStringLiteral("--version")))
        text = UpdateCheck::VersionLine(QStringLiteral("hollicon"));
    else
        return std::nullopt;
    std::fprintf(stdout, "%s\n", qPrintable(text));
    return 0;
}

int MainMod::Main(ServiceDirectory& directory, MessageBoxes& boxes) {
    HelpFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/Help/");

    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString doorbell = runtime + QStringLiteral("/hollicon.socket");
    QLockFile instance(runtime + QStringLiteral("/hollicon.lock"));
    if (!instance.tryLock(0)) {
        // The console that runs shows its window when rung.
        QLocalSocket ring;
        ring.connectToServer(doorbell);
        ring.waitForConnected(2000);
        return 0;
    }

    ConsoleDocument document(FileMod::DataFilePath(Folders::Data()));
    if (const FileMod::FileResult loaded = document.load(); !loaded) {
        boxes.show({QObject::tr("The data file cannot be loaded.\n\n%1").arg(loaded.error),
                    QString(), MsgBox::Icon::Critical});
        return 1;
    }

    frmManagement window(document, directory, boxes);
    QLocalServer::removeServer(doorbell);
    QLocalServer server;
    QObject::connect(&server, &QLocalServer::newConnection, &window, [&server, &window] {
        delete server.nextPendingConnection();
        window.raiseWindow();
    });
    // Without it a second start only ends; the console itself still works.
    [[maybe_unused]] const bool listening = server.listen(doorbell);
    window.setFileStatus(QObject::tr("File Status: Ready"));
    window.show();
    return QApplication::exec();
}
