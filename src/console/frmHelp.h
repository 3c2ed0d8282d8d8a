#pragma once

// The help viewer: the help pages from the program's Help folder in a browser, a toolbar
// to go back and to fetch the pages again from the maker's site, and a place at the main
// window's right edge that it keeps while the main window moves.

#include <QMainWindow>

class MessageBoxes;
class QAction;
class QTextBrowser;
class Shell;

class frmHelp : public QMainWindow {
    Q_OBJECT

public:
    // A window of its own that lives no longer than `main` and deletes itself on closing.
    frmHelp(QWidget& main, MessageBoxes& boxes, Shell& shell);

    // Shows the window on `page`, offering a download when the help is not installed.
    void load(const QString& page);
    // Shows `page`, read afresh even when it is the one shown.
    void navigate(const QString& page);
    // Fetches every help file into the Help folder in the background; a file that fails is
    // skipped, and named in a message.
    void downloadHelp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void noServer();
    void pageLoaded();
    void linkClicked(const QUrl& link);
    void followMain();

    QWidget& main_;
    MessageBoxes& boxes_;
    Shell& shell_;
    QAction* back_ = nullptr;
    QTextBrowser* wbHelp_ = nullptr;
};
