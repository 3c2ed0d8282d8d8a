#include "MainMod.h"

#include "FileMod.h"
#include "MessageBoxes.h"
#include "frmManagement.h"

#include <QApplication>
#include <QLockFile>
#include <QStandardPaths>

QString MainMod::HelpFolder;

QString MainMod::DataFolder() {
    const QString folder = qEnvironmentVariable("HOLLIMERE_DATA_DIR");
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

int MainMod::Main(ServiceDirectory& directory, MessageBoxes& boxes) {
    HelpFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/Help/");

    QLockFile instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                       QStringLiteral("/hollicon.lock"));
    if (!instance.tryLock(0))
        return 0;

    Configuration config;
    const QString path = FileMod::DataFilePath(DataFolder());
    if (const FileMod::FileResult loaded =
            FileMod::LoadData(config, path, FileMod::KeyPolicy::MakeNewKey);
        !loaded) {
        boxes.show({QObject::tr("The data file cannot be loaded.\n\n%1").arg(loaded.error),
                    QString(), MsgBox::Icon::Critical});
        return 1;
    }

    frmManagement window(std::move(config), path, directory, boxes);
    window.setFileStatus(QObject::tr("File Status: Ready"));
    window.show();
    return QApplication::exec();
}
