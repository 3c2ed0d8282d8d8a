#include "MainMod.h"
#include "MessageBoxes.h"
#include "ServiceDirectory.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    {
        // Before QApplication, which would want a display.
        const QCoreApplication bare(argc, argv);
        if (const auto status = MainMod::AnswerCommandLine(QCoreApplication::arguments()))
            return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hollimere"));
    SystemdServiceDirectory directory;
    QtMessageBoxes boxes;
    return MainMod::Main(directory, boxes);
}
