#include "ConsoleDialog.h"

#include "FileMod.h"
#include "MessageBoxes.h"
#include "frmManagement.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

ConsoleDialog::ConsoleDialog(frmManagement& main, MainWindow mainWindow)
    : main_(main), document_(main.document()), boxes_(main.boxes()) {
    setAttribute(Qt::WA_DeleteOnClose);
    if (mainWindow == MainWindow::LeaveEnabled)
        return;
    main.setEnabled(false);
    // Closing by any way out, the close box included, gives the main window back.
    connect(this, &QDialog::finished, &main, [&main] { main.setEnabled(true); });
}

void ConsoleDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    adjustSize();
    CenterForm(*this);
}

void CenterForm(QWidget& window) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(window.screen()->geometry().center());
    window.move(frame.topLeft());
}

QDialogButtonBox* ConsoleDialog::buttons(const QString& ok, const QString& okName,
                                         const QString& cancel, const QString& cancelName) {
    auto* box = new QDialogButtonBox(this);
    QPushButton* okButton = box->addButton(ok, QDialogButtonBox::AcceptRole);
    okButton->setObjectName(okName);
    okButton->setDefault(true);
    box->addButton(cancel, QDialogButtonBox::RejectRole)->setObjectName(cancelName);
    // OK closes only when okClicked() says so.
    connect(okButton, &QPushButton::clicked, this, &ConsoleDialog::okClicked);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return box;
}

QLabel* ConsoleDialog::label(const QString& text, const QString& name) {
    auto* shown = new QLabel(text, this);
    shown->setObjectName(name);
    return shown;
}

bool ConsoleDialog::storable(const QString& field, const QString& value) {
    const QString problem = FileMod::TypedValueProblem(value);
    if (problem.isEmpty())
        return true;
    boxes_.show({field + u' ' + problem, windowTitle(), MsgBox::Icon::Exclamation});
    return false;
}

bool WholeNumber(const QString& text, int max, int& number) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value > max || value < -max - 1)
        return false;
    number = static_cast<int>(value);
    return true;
}
