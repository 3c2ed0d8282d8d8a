#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton standard(MsgBox::Button button) {
    switch (button) {
    case MsgBox::Button::Yes:
        return QMessageBox::Yes;
    case MsgBox::Button::No:
        return QMessageBox::No;
    case MsgBox::Button::Ok:
        break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon standard(MsgBox::Icon icon) {
    switch (icon) {
    case MsgBox::Icon::Information:
        return QMessageBox::Information;
    case MsgBox::Icon::Question:
        return QMessageBox::Question;
    case MsgBox::Icon::Exclamation:
        return QMessageBox::Warning;
    case MsgBox::Icon::Critical:
        return QMessageBox::Critical;
    case MsgBox::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MsgBox::Button QtMessageBoxes::show(const MsgBox::Request& request) {
    const QString title =
        request.title.isEmpty() ? QCoreApplication::applicationName() : request.title;
    QMessageBox box(standard(request.icon), title, request.text, QMessageBox::NoButton, parent_);
    for (MsgBox::Button button : request.buttons)
        box.addButton(standard(button));
    box.setDefaultButton(standard(request.defaultButton));
    const int chosen = box.exec();
    for (MsgBox::Button button : request.buttons)
        if (chosen == standard(button))
            return button;
    // Closed with Escape or the close box: the least committal answer.
    return request.buttons.contains(MsgBox::Button::No) ? MsgBox::Button::No : MsgBox::Button::Ok;
}
