#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QHash>
#include <QMessageBox>
#include <QPushButton>

namespace {

QAbstractButton* addButton(QMessageBox& box, MsgBox::Button button) {
    switch (button) {
    case MsgBox::Button::Yes:
        return box.addButton(QMessageBox::Yes);
    case MsgBox::Button::No:
        return box.addButton(QMessageBox::No);
    case MsgBox::Button::Cancel:
        return box.addButton(QMessageBox::Cancel);
    case MsgBox::Button::Reload:
        return box.addButton(QObject::tr("&Reload"), QMessageBox::DestructiveRole);
    case MsgBox::Button::Overwrite:
        return box.addButton(QObject::tr("&Overwrite"), QMessageBox::AcceptRole);
    case MsgBox::Button::Ok:
        break;
    }
    return box.addButton(QMessageBox::Ok);
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
    QHash<QAbstractButton*, MsgBox::Button> buttons;
    for (MsgBox::Button button : request.buttons) {
        QAbstractButton* added = addButton(box, button);
        buttons.insert(added, button);
        if (button == request.defaultButton)
            box.setDefaultButton(qobject_cast<QPushButton*>(added));
        if (button == MsgBox::Dismissed(request))
            box.setEscapeButton(added);
    }
    box.exec();
    return buttons.value(box.clickedButton(), MsgBox::Dismissed(request));
}

MsgBox::Button MsgBox::Dismissed(const Request& request) {
    for (Button button : {Button::Cancel, Button::No})
        if (request.buttons.contains(button))
            return button;
    return Button::Ok;
}
