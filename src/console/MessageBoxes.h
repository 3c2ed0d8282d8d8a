#pragma once

// Every message box of the console goes through this, so that tests can read and answer
// them.

#include <QList>
#include <QString>

class QWidget;

namespace MsgBox {

enum class Icon { None, Information, Question, Exclamation, Critical };
// Reload and Overwrite carry their own words.
enum class Button { Ok, Yes, No, Cancel, Reload, Overwrite };

struct Request {
    QString text;
    QString title; // empty: the program's name
    Icon icon = Icon::None;
    QList<Button> buttons{Button::Ok};
    Button defaultButton = Button::Ok;
};

// What closing the box with Escape or its close box answers: Cancel where the box has it,
// else No, else OK. A question that must be dismissable with nothing changed has Cancel.
[[nodiscard]] Button Dismissed(const Request& request);

} // namespace MsgBox

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally and gives the button chosen.
    virtual MsgBox::Button show(const MsgBox::Request& request) = 0;
};

// The real thing: a modal QMessageBox over `parent`.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    MsgBox::Button show(const MsgBox::Request& request) override;

private:
    QWidget* parent_;
};
