#include "MainMod.h"
#include "MessageBoxes.h"
#include "ServiceDirectory.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hollimere"));
    SystemdServiceDirectory directory;
    QtMessageBoxes boxes;
    return MainMod::Main(directory, boxes);
}
