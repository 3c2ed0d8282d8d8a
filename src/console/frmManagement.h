#pragma once

// The console's main window: the configuration tree, the action list, toolbar, menus and
// status bar over the document, which it saves on demand or automatically.

#include "modService.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>

class AccountTableModel;
class ConsoleDocument;
class MessageBoxes;
class Shell;
class frmHelp;
class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QListView;
class QMenu;
class QSortFilterProxyModel;
class QSplitter;
class QStackedWidget;
class QStandardItemModel;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

// Picture `number` of the console's group `group` ("toolbar", "tree", "list").
[[nodiscard]] QIcon ConsoleIcon(const char* group, int number);

class frmManagement : public QMainWindow {
    Q_OBJECT

public:
    // The list's views, as stored in the "LVMode" preference.
    enum ListMode { LargeIcons = 0, SmallIcons = 1, ListOnly = 2, Details = 3 };

    // The key of an action row ("B1", "C1".."C4", "D1".."D6") or of a tree node.
    static constexpr int KeyRole = Qt::UserRole + 1;

    frmManagement(ConsoleDocument& document, ServiceDirectory& directory, MessageBoxes& boxes,
                  QWidget* parent = nullptr);
    ~frmManagement() override;

    [[nodiscard]] ConsoleDocument& document() { return document_; }
    [[nodiscard]] MessageBoxes& boxes() { return boxes_; }
    // Where documents and mail links are opened; the desktop unless set otherwise.
    [[nodiscard]] Shell& shell() { return *shell_; }
    void setShell(Shell& shell) { shell_ = &shell; }

    [[nodiscard]] int serviceState() const { return ServiceState_; }
    [[nodiscard]] bool autoSave() const;
    [[nodiscard]] ListMode listMode() const { return listMode_; }

    void setFileStatus(const QString& text);

    // Brings the window to the front, as a second start of the console asks.
    void raiseWindow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What the list items, toolbar buttons and menu items lead to.
    enum class Action {
        AccountAdd,
        AccountDelete,
        AccountProperties,
        SmtpSettings,
        StartService,
        StopService,
        InstallService,
        UninstallService,
        Schedule,
        QueryMail,
        UndeliverableMail,
        InternetCheck,
        LoggingMode,
        TimeoutValues,
        HelpContents,
        HelpUpdates,
        HelpSubmitBug,
        HelpSubmitComment,
        HelpAbout,
    };

    void createActions();
    void createMenus();
    void createToolbar();
    void createViews();
    void modResource();
    void readPreferences();
    void writePreferences() const;
    void fitToScreen();

    void BuildConfigTree(const QString& computerName, const QString& computerKey);
    void BuildItemList(const QString& nodeKey);
    [[nodiscard]] QString currentNodeKey() const;
    [[nodiscard]] bool accountsShown() const;

    void AccountAdd();
    void AccountDelete();
    void AccountProperties();
    [[nodiscard]] bool arrayRefuses();
    // The account table index of the row selected in the list; -1 for none.
    [[nodiscard]] int selectedAccount() const;
    // Shows the dialog `make` builds, unless one named `name` is open already: that one is
    // brought to the front instead.
    void openDialog(const QString& name, const std::function<QDialog*()>& make);

    void nodeChanged(QTreeWidgetItem* node);
    void rowActivated(const QModelIndex& index);
    void run(Action action);
    void askInternetCheck();
    void HelpContents();
    void HelpUpdates();
    void closeHelp();

    void StartService();
    void StopService();
    void InstallService();
    void UninstallService();
    void QueryMail();
    // Start or stop on a fresh poll, the wait window showing meanwhile.
    void controlService(bool start);
    // Runs the service program with -install or -uninstall, as root, and says how it ended.
    void runAsRoot(const QString& switchWord);

    void pollService();
    void changeWatcher();
    void saveNow();
    // Saves, shows the outcome in the file panel; false when the changes are still pending.
    bool save(bool automatic);
    void setListMode(int mode);

    ConsoleDocument& document_;
    MessageBoxes& boxes_;
    Shell* shell_;
    ServicePoll poll_;
    ServiceDirectory& directory_;

    bool saving_ = false;
    // A save the user cancelled is not retried automatically until the next edit.
    bool autoSaveHeld_ = false;
    int ServiceState_ = 0;
    ListMode listMode_ = Details;

    QSplitter* splitter_ = nullptr;
    QTreeWidget* localTreeView_ = nullptr;
    QStandardItemModel* actions_ = nullptr;
    AccountTableModel* accounts_ = nullptr;
    QSortFilterProxyModel* shown_ = nullptr;
    QStackedWidget* listStack_ = nullptr;
    QListView* iconView_ = nullptr;
    QTreeView* detailView_ = nullptr;
    QAction* save_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* add_ = nullptr;
    QAction* delete_ = nullptr;
    QAction* properties_ = nullptr;
    QAction* start_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* helpContents_ = nullptr;
    QActionGroup* views_ = nullptr;
    QMenu* AccountsMenu_ = nullptr;
    QAction* OptionsAutoSave_ = nullptr;
    QLabel* servicePanel_ = nullptr;
    QLabel* filePanel_ = nullptr;
    QList<QPointer<QDialog>> dialogs_;
    QPointer<frmHelp> help_;
    QTimer svcTmr_;
    QTimer tmrUpdate_;
};
