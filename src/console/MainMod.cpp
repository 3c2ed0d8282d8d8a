#include "MainMod.h"

#include "FileMod.h"
#include "Folders.h"
#include "MessageBoxes.h"
#include "ServiceName.h"
#include "UpdateCheck.h"
#include "frmManagement.h"

#include <QApplication>
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

    QLockFile instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                       QStringLiteral("/hollicon.lock"));
    if (!instance.tryLock(0))
        return 0;

    Configuration config;
    const QString path = FileMod::DataFilePath(Folders::Data());
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
