#include "ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopShell::ShellOpen(const QString& target) {
    // Blanks in a mail link's subject and body are encoded, not refused.
    QDesktopServices::openUrl(QUrl(target, QUrl::TolerantMode));
}
