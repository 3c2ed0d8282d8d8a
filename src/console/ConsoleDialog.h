#pragma once

// What the console's dialogs share: each is modeless, exists only while shown, centres
// itself, and may keep the main window disabled until it closes. A dialog shows the
// document's values in its boxes and hands them back only on OK: Cancel, Escape and the
// close box change nothing.

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>

class ConsoleDocument;
class MessageBoxes;
class frmManagement;

class ConsoleDialog : public QDialog {
    Q_OBJECT

public:
    enum class MainWindow { Disable, LeaveEnabled };

    ConsoleDialog(frmManagement& main, MainWindow mainWindow);

protected:
    void showEvent(QShowEvent* event) override;

    // Stores what the dialog shows and closes it, or says why not and stays open.
    virtual void okClicked() = 0;

    // OK and Cancel, named for tests and wired to okClicked() and reject().
    [[nodiscard]] QDialogButtonBox* buttons(const QString& ok, const QString& okName,
                                            const QString& cancel, const QString& cancelName);
    [[nodiscard]] QLabel* label(const QString& text, const QString& name);

    // False, after naming `field` in a message, when `value` cannot go into the data file.
    [[nodiscard]] bool storable(const QString& field, const QString& value);

    frmManagement& main_;
    ConsoleDocument& document_;
    MessageBoxes& boxes_;
};

// Centres `window` on its screen.
void CenterForm(QWidget& window);

// A whole number typed by the user, trimmed of blanks. False when the text is not one or
// does not fit -`max` - 1..`max`.
[[nodiscard]] bool WholeNumber(const QString& text, int max, int& number);
