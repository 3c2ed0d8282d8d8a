#include "MainMod.h"

#include "ConsoleDocument.h"
#include "MessageBoxes.h"
#include "frmManagement.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

QString MainMod::HelpFolder;

QString MainMod::DataFolder() {
    const QString folder = qEnvironmentVariable("HOLLIMERE_DATA_DIR");
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
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

    ConsoleDocument document(FileMod::DataFilePath(DataFolder()));
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
