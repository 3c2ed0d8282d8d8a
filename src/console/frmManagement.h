#pragma once

// The console's main window: the configuration tree, the action list, toolbar, menus and
// status bar; it holds the configuration in memory and writes it back to the data file.

#include "ConfigModel.h"
#include "modService.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <array>
#include <functional>

class MessageBoxes;
class Shell;
class frmHelp;
class QAction;
class QDialog;
class QLabel;
class QListView;
class QMenu;
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

    // Roles of the action list's first column.
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int IconNumberRole = Qt::UserRole + 2;
    static constexpr int DeletedRole = Qt::UserRole + 3;

    // `dataFilePath` is where saves go and reloads come from; `config` was loaded from it.
    frmManagement(Configuration config, QString dataFilePath, ServiceDirectory& directory,
                  MessageBoxes& boxes, QWidget* parent = nullptr);
    ~frmManagement() override;

    [[nodiscard]] Configuration& configuration() { return config_; }
    [[nodiscard]] bool dataChanged() const { return DataChanged_; }
    // Every dialog's OK calls this; the change watcher writes the file.
    void setDataChanged() { DataChanged_ = true; }
    [[nodiscard]] MessageBoxes& boxes() { return boxes_; }
    // Where documents and mail links are opened; the desktop unless set otherwise.
    [[nodiscard]] Shell& shell() { return *shell_; }
    void setShell(Shell& shell) { shell_ = &shell; }

    [[nodiscard]] int serviceState() const { return ServiceState_; }
    [[nodiscard]] const QString& itemClicked() const { return strItemClicked_; }
    [[nodiscard]] bool autoSave() const;
    [[nodiscard]] ListMode listMode() const { return listMode_; }

    void setFileStatus(const QString& text);

    // Rebuilds the list when the accounts node is selected.
    void UpdateAccountList();

    // Brings the row of account `index` up to date with its record, first appending a row
    // for it when `adding`.
    void showAccount(int index, bool adding);

    // Ends the program at once: nothing saved, no question, no preferences written.
    void FileExit();

    // The socket of the SMTP connection test (member 0 of the array; nothing else in the
    // console uses one) and, per member, the latest piece of data received on it.
    [[nodiscard]] QTcpSocket& Winsock1() { return Winsock1_; }
    [[nodiscard]] QString& ReplyBuffer(int index) {
        return ReplyBuffer_.at(static_cast<size_t>(index));
    }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

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

    void createMenus();
    void createToolbar();
    void createViews();
    void modResource();
    void readPreferences();
    void writePreferences() const;
    void fitToScreen();
    void applyLayout();

    void BuildConfigTree(const QString& computerName, const QString& computerKey);
    void BuildItemList(const QString& nodeKey);
    void addListItem(const QString& key, const QString& name, const QString& comment, int icon,
                     bool withToolTip);

    void addAccountRows();
    void AccountAdd();
    void AccountDelete();
    void AccountProperties();
    [[nodiscard]] bool arrayRefuses();
    [[nodiscard]] int firstSelectedRow() const;
    [[nodiscard]] QString newAccountKey() const;
    // Shows the dialog `make` builds, unless one named `name` is open already: that one is
    // brought to the front instead.
    void openDialog(const QString& name, const std::function<QDialog*()>& make);

    void nodeClicked(QTreeWidgetItem* node);
    void listItemDoubleClicked();
    void run(Action action);
    void askInternetCheck();
    void HelpContents();
    void closeHelp();

    void StartService();
    void StopService();
    void InstallService();
    void UninstallService();
    void QueryMail();
    // Start or stop on a fresh poll, the wait window showing meanwhile.
    void controlService(bool start);
    // The launch for Install and Uninstall: false when it did not start, after a message
    // only when the program is missing.
    [[nodiscard]] bool launchQuietly(const QString& switchWord);

    void Winsock1DataArrival(int index);

    void pollService();
    void changeWatcher();
    void saveButton();
    [[nodiscard]] bool saveAndReload();
    void setListMode(int mode);

    Configuration config_;
    QString dataFilePath_;
    MessageBoxes& boxes_;
    Shell* shell_;
    ServicePoll poll_;

    bool DataChanged_ = false;
    bool exiting_ = false;
    int ServiceState_ = 0;
    QString strItemClicked_;
    ListMode listMode_ = Details;

    QTreeWidget* localTreeView_ = nullptr;
    QStandardItemModel* items_ = nullptr;
    QStackedWidget* listStack_ = nullptr;
    QListView* iconView_ = nullptr;
    QTreeView* detailView_ = nullptr;
    std::array<QAction*, 11> toolButtons_{};
    QMenu* AccountsMenu_ = nullptr;
    QAction* OptionsAutoSave_ = nullptr;
    QLabel* servicePanel_ = nullptr;
    QLabel* filePanel_ = nullptr;
    QList<QPointer<QDialog>> dialogs_;
    QPointer<frmHelp> help_;
    QTimer svcTmr_;
    QTimer tmrUpdate_;
    QTcpSocket Winsock1_;
    std::array<QString, 11> ReplyBuffer_;
};
