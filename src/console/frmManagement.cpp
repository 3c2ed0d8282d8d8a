#include "frmManagement.h"

#include "AccountTableModel.h"
#include "ConsoleDocument.h"
#include "MainMod.h"
#include "MessageBoxes.h"
#include "ReadRules.h"
#include "ShellOpen.h"
#include "StringTable.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmLogMode.h"
#include "frmSMTPSettings.h"
#include "frmSchedule.h"
#include "frmTimeOut.h"
#include "frmUndeliverable.h"
#include "modHelp.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QSysInfo>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

namespace {

const QString ComputerKey = QStringLiteral("C1");
const QString AccountsKey = ComputerKey + u'A';

QString fileStatus(int word) {
    return LoadResString(217) + LoadResString(word);
}

// The computer's name as other programs on it see it.
QString computerName() {
    const QString name = qEnvironmentVariable("COMPUTERNAME");
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

DesktopShell& desktopShell() {
    static DesktopShell shell;
    return shell;
}

// The console's preferences live in the section "Interface".
QString preference(const char* key) {
    return QStringLiteral("Interface/") + QLatin1String(key);
}

} // namespace

QIcon ConsoleIcon(const char* group, int number) {
    return QIcon(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(group)).arg(number));
}

// The icons sit in this static library, which the linker would otherwise leave out.
static void initResources() {
    Q_INIT_RESOURCE(console);
}

frmManagement::frmManagement(ConsoleDocument& document, ServiceDirectory& directory,
                             MessageBoxes& boxes, QWidget* parent)
    : QMainWindow(parent), document_(document), boxes_(boxes), shell_(&desktopShell()),
      poll_(directory), directory_(directory) {
    initResources();
    createActions();
    createMenus();
    createToolbar();
    createViews();
    modResource();
    pollService();
    BuildConfigTree(computerName(), ComputerKey);
    readPreferences();

    connect(&document_, &ConsoleDocument::edited, this, [this] { autoSaveHeld_ = false; });
    svcTmr_.setInterval(3000);
    connect(&svcTmr_, &QTimer::timeout, this, &frmManagement::pollService);
    svcTmr_.start();
    tmrUpdate_.setInterval(1000);
    connect(&tmrUpdate_, &QTimer::timeout, this, &frmManagement::changeWatcher);
    tmrUpdate_.start();
}

frmManagement::~frmManagement() {
    // The dialogs are windows of their own and refer to this one.
    for (const QPointer<QDialog>& dialog : std::as_const(dialogs_))
        delete dialog.data();
}

void frmManagement::createActions() {
    auto make = [this](const QString& text, const char* name, const QKeySequence& key,
                       const std::function<void()>& what) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, what);
        return action;
    };
    save_ = make(tr("&Save"), "FileSave", QKeySequence::Save, [this] { saveNow(); });
    save_->setIcon(ConsoleIcon("toolbar", 1));
    save_->setToolTip(tr("Save Changes"));
    save_->setEnabled(false);
    exit_ = make(LoadResString(199), "FileExit", QKeySequence(Qt::CTRL | Qt::Key_Q),
                 [this] { close(); });
    add_ = make(tr("&Add..."), "accountsAdd", Qt::Key_Insert, [this] { run(Action::AccountAdd); });
    add_->setToolTip(tr("Add POP Account"));
    delete_ = make(tr("&Delete"), "accountsDelete", QKeySequence::Delete,
                   [this] { run(Action::AccountDelete); });
    delete_->setToolTip(tr("Remove POP Account"));
    properties_ =
        make(tr("&Properties..."), "accountsProperties", QKeySequence(Qt::ALT | Qt::Key_Return),
             [this] { run(Action::AccountProperties); });
    properties_->setToolTip(tr("Account Properties"));
    start_ = make(tr("Start Service"), "StartService", {}, [this] { run(Action::StartService); });
    stop_ = make(tr("Stop Service"), "StopService", {}, [this] { run(Action::StopService); });
    helpContents_ = make(LoadResString(203), "HelpContents", QKeySequence::HelpContents,
                         [this] { run(Action::HelpContents); });
    helpContents_->setToolTip(tr("Help"));
    int position = 1;
    for (QAction* action : {save_, add_, delete_, properties_, start_, stop_})
        action->setIcon(ConsoleIcon("toolbar", position++));
    helpContents_->setIcon(ConsoleIcon("toolbar", 11));

    views_ = new QActionGroup(this);
    const QStringList captions = {tr("&Large Icons"), tr("&Small Icons"), tr("Lis&t"),
                                  tr("&Detailed")};
    const QStringList tips = {tr("Large Icons"), tr("Small Icons"), tr("List View"),
                              tr("Detailed View")};
    for (int mode = LargeIcons; mode <= Details; ++mode) {
        QAction* view = views_->addAction(captions[mode]);
        view->setCheckable(true);
        view->setToolTip(tips[mode]);
        view->setIcon(ConsoleIcon("toolbar", 7 + mode));
        connect(view, &QAction::triggered, this, [this, mode] { setListMode(mode); });
    }
}

void frmManagement::createMenus() {
    auto add = [this](QMenu* menu, const QString& caption, Action action) {
        QAction* item = menu->addAction(caption);
        connect(item, &QAction::triggered, this, [this, action] { run(action); });
        return item;
    };

    QMenu* file = menuBar()->addMenu(LoadResString(198));
    file->setObjectName(QStringLiteral("FileMenu"));
    file->addAction(save_);
    file->addSeparator();
    file->addAction(exit_);

    AccountsMenu_ = menuBar()->addMenu(tr("&Accounts"));
    AccountsMenu_->setObjectName(QStringLiteral("AccountsMenu"));
    AccountsMenu_->addActions({add_, delete_, properties_});

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    view->addActions(views_->actions());

    QMenu* options = menuBar()->addMenu(LoadResString(200));
    options->setObjectName(QStringLiteral("OptionsMenu"));
    OptionsAutoSave_ = options->addAction(LoadResString(201));
    OptionsAutoSave_->setObjectName(QStringLiteral("OptionsAutoSave"));
    OptionsAutoSave_->setCheckable(true);

    QMenu* help = menuBar()->addMenu(LoadResString(202));
    help->setObjectName(QStringLiteral("HelpMenu"));
    help->addAction(helpContents_);
    add(help, tr("Check for &Updates"), Action::HelpUpdates);
    add(help, LoadResString(205), Action::HelpSubmitBug);
    add(help, LoadResString(206), Action::HelpSubmitComment);
    add(help, LoadResString(207), Action::HelpAbout);
}

void frmManagement::createToolbar() {
    QToolBar* bar = addToolBar(QStringLiteral("localToolbar"));
    bar->setObjectName(QStringLiteral("localToolbar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    // Groups: saving, accounts, service, views, help.
    bar->addAction(save_);
    bar->addSeparator();
    bar->addActions({add_, delete_, properties_});
    bar->addSeparator();
    bar->addActions({start_, stop_});
    bar->addSeparator();
    bar->addActions(views_->actions());
    bar->addSeparator();
    bar->addAction(helpContents_);
}

void frmManagement::createViews() {
    splitter_ = new QSplitter(this);
    splitter_->setObjectName(QStringLiteral("splitter"));
    splitter_->setChildrenCollapsible(false);
    setCentralWidget(splitter_);

    localTreeView_ = new QTreeWidget(splitter_);
    localTreeView_->setObjectName(QStringLiteral("localTreeView"));
    localTreeView_->setHeaderHidden(true);
    localTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(localTreeView_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { nodeChanged(current); });

    actions_ = new QStandardItemModel(0, 2, this);
    actions_->setHorizontalHeaderLabels({tr("Name"), tr("Comment")});
    accounts_ = new AccountTableModel(document_, this);
    shown_ = new QSortFilterProxyModel(this);
    shown_->setSortCaseSensitivity(Qt::CaseInsensitive);
    shown_->setSourceModel(actions_);

    listStack_ = new QStackedWidget(splitter_);
    listStack_->setObjectName(QStringLiteral("localListView"));
    iconView_ = new QListView(listStack_);
    iconView_->setObjectName(QStringLiteral("iconView"));
    iconView_->setModel(shown_);
    iconView_->setMovement(QListView::Static);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setWrapping(true);
    detailView_ = new QTreeView(listStack_);
    detailView_->setObjectName(QStringLiteral("detailView"));
    detailView_->setModel(shown_);
    detailView_->setSelectionModel(iconView_->selectionModel());
    detailView_->setRootIsDecorated(false);
    detailView_->setUniformRowHeights(true);
    detailView_->header()->setStretchLastSection(true);
    listStack_->addWidget(iconView_);
    listStack_->addWidget(detailView_);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(detailView_)}) {
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        // Enter, and a double-click (or a single one where the desktop says so).
        connect(view, &QAbstractItemView::activated, this, &frmManagement::rowActivated);
    }
    // Delete and Alt+Enter act where the accounts are: in the list.
    for (QAction* action : {delete_, properties_}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        listStack_->addAction(action);
    }
    splitter_->setStretchFactor(1, 2);
    splitter_->setSizes({260, 520});

    servicePanel_ = new QLabel(tr("Service status: Unavailable"), this);
    servicePanel_->setObjectName(QStringLiteral("servicePanel"));
    filePanel_ = new QLabel(tr("File Status: Unavailable"), this);
    filePanel_->setObjectName(QStringLiteral("filePanel"));
    statusBar()->addWidget(servicePanel_, 1);
    statusBar()->addWidget(filePanel_, 1);
}

void frmManagement::modResource() {
    setWindowTitle(LoadResString(102));
    servicePanel_->setText(LoadResString(215));
    filePanel_->setText(LoadResString(217));
}

void frmManagement::readPreferences() {
    const QSettings settings(QStringLiteral("QVL_POP3"));
    const QString autoSave = settings.value(preference("AutoSave"), "1").toString();
    OptionsAutoSave_->setChecked(ReadRules::LeadingNumber(autoSave) == 1);
    bool numeric = false;
    const int mode = settings.value(preference("LVMode"), "3").toString().toInt(&numeric);
    // The console never writes another value; anything else falls back to the default.
    setListMode(numeric && mode >= LargeIcons && mode <= Details ? mode : Details);
    if (!restoreGeometry(settings.value(preference("Geometry")).toByteArray())) {
        resize(780, 540);
        fitToScreen();
    }
    splitter_->restoreState(settings.value(preference("Splitter")).toByteArray());
    const QString node = settings.value(preference("Node")).toString();
    for (QTreeWidgetItem* item :
         localTreeView_->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive))
        if (item->data(0, KeyRole).toString() == node)
            localTreeView_->setCurrentItem(item);
}

void frmManagement::writePreferences() const {
    QSettings settings(QStringLiteral("QVL_POP3"));
    settings.setValue(preference("AutoSave"),
                      OptionsAutoSave_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(preference("LVMode"), QString::number(listMode_));
    settings.setValue(preference("Geometry"), saveGeometry());
    settings.setValue(preference("Splitter"), splitter_->saveState());
    settings.setValue(preference("Node"), currentNodeKey());
}

bool frmManagement::autoSave() const {
    return OptionsAutoSave_->isChecked();
}

void frmManagement::fitToScreen() {
    const QRect screenArea = screen()->availableGeometry();
    if (width() > screenArea.width() || height() > screenArea.height())
        resize(screenArea.width() * 3 / 4, screenArea.height() * 3 / 4);
    move(screenArea.center() - rect().center());
}

void frmManagement::raiseWindow() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmManagement::setListMode(int mode) {
    listMode_ = static_cast<ListMode>(mode);
    views_->actions().at(mode)->setChecked(true);
    if (listMode_ == Details) {
        listStack_->setCurrentWidget(detailView_);
        return;
    }
    const bool large = listMode_ == LargeIcons;
    iconView_->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    iconView_->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    iconView_->setFlow(listMode_ == ListOnly ? QListView::TopToBottom : QListView::LeftToRight);
    iconView_->setGridSize(large ? QSize(110, 72) : QSize());
    iconView_->setWordWrap(large);
    iconView_->setMovement(QListView::Static);
    listStack_->setCurrentWidget(iconView_);
}

void frmManagement::BuildConfigTree(const QString& computerName, const QString& computerKey) {
    localTreeView_->clear();
    auto node = [](QTreeWidgetItem* item, const QString& key, const QString& text, int image) {
        item->setText(0, text);
        item->setData(0, KeyRole, key);
        item->setIcon(0, ConsoleIcon("tree", image));
        return item;
    };
    QTreeWidgetItem* root = node(new QTreeWidgetItem(localTreeView_), QStringLiteral("R"),
                                 tr("Connector Management"), 1);
    QTreeWidgetItem* computer = node(new QTreeWidgetItem(root), computerKey, computerName, 2);
    const QStringList groups = {LoadResString(226),      LoadResString(227),
                                LoadResString(228),      LoadResString(229),
                                tr("New Features Soon"), tr("New Features Soon")};
    for (int i = 0; i < groups.size(); ++i)
        node(new QTreeWidgetItem(computer), computerKey + QChar(u'A' + i), groups[i], 3 + i);
    root->setExpanded(true);
    computer->setExpanded(true);
    localTreeView_->setCurrentItem(root);
}

void frmManagement::BuildItemList(const QString& nodeKey) {
    actions_->removeRows(0, actions_->rowCount());
    const QChar letter = nodeKey.isEmpty() ? QChar() : nodeKey.back().toUpper();
    struct Row {
        const char* key;
        const char* name;
        const char* comment;
        int icon;
    };
    static const Row rows[] = {
        {"B1", "Modify SMTP Settings", "Configure your SMTP settings", 17},
        {"C1", "Start Service", "Start the service", 12},
        {"C2", "Stop Service", "Stop the service", 13},
        {"C3", "Install Service", "Add the service to the list of services to run on startup", 14},
        {"C4", "Uninstall Service",
         "Remove the service from the list of services to run on startup", 15},
        {"D1", "Schedule", "Schedule frequency of mail download", 3},
        {"D2", "Retrieve Mail", "Force Mail retrieval", 4},
        {"D3", "Undeliverable Mail", "Change how mail is returned to sender", 5},
        {"D4", "Internet Check", "Determine if an Internet connection is verified", 6},
        {"D5", "Logging Mode", "Modify How detailed logging will be to the event log", 7},
        {"D6", "Timeout Values", "Change the default timeout values for connections", 18}};
    for (const Row& row : rows) {
        if (row.key[0] != letter)
            continue;
        auto* name = new QStandardItem(ConsoleIcon("list", row.icon), tr(row.name));
        name->setData(QLatin1String(row.key), KeyRole);
        actions_->appendRow({name, new QStandardItem(tr(row.comment))});
    }
    const bool accounts = letter == u'A';
    // Accounts sort by any column; actions keep their order.
    detailView_->setSortingEnabled(false);
    shown_->sort(-1);
    shown_->setSourceModel(accounts ? static_cast<QAbstractItemModel*>(accounts_) : actions_);
    detailView_->setSortingEnabled(accounts);
    if (accounts) {
        detailView_->sortByColumn(AccountTableModel::Name, Qt::AscendingOrder);
        detailView_->header()->resizeSections(QHeaderView::ResizeToContents);
    } else {
        detailView_->setColumnWidth(0, listStack_->width() / 3);
    }
}

QString frmManagement::currentNodeKey() const {
    const QTreeWidgetItem* node = localTreeView_->currentItem();
    return node ? node->data(0, KeyRole).toString() : QString();
}

bool frmManagement::accountsShown() const {
    return shown_->sourceModel() == accounts_;
}

void frmManagement::nodeChanged(QTreeWidgetItem* node) {
    const QString key = node ? node->data(0, KeyRole).toString() : QString();
    BuildItemList(key);
    const bool accounts = accountsShown();
    for (QAction* action : {add_, delete_, properties_})
        action->setEnabled(accounts);
    AccountsMenu_->setEnabled(accounts);
}

void frmManagement::rowActivated(const QModelIndex& index) {
    if (accountsShown()) {
        run(Action::AccountProperties);
        return;
    }
    static const QHash<QString, Action> byKey = {
        {"B1", Action::SmtpSettings},     {"C1", Action::StartService},
        {"C2", Action::StopService},      {"C3", Action::InstallService},
        {"C4", Action::UninstallService}, {"D1", Action::Schedule},
        {"D2", Action::QueryMail},        {"D3", Action::UndeliverableMail},
        {"D4", Action::InternetCheck},    {"D5", Action::LoggingMode},
        {"D6", Action::TimeoutValues}};
    const QString key = shown_->index(index.row(), 0).data(KeyRole).toString();
    if (const auto found = byKey.constFind(key); found != byKey.constEnd())
        run(*found);
}

void frmManagement::run(Action action) {
    switch (action) {
    case Action::InternetCheck:
        askInternetCheck();
        break;
    case Action::AccountAdd:
        AccountAdd();
        break;
    case Action::AccountDelete:
        AccountDelete();
        break;
    case Action::AccountProperties:
        AccountProperties();
        break;
    case Action::Schedule:
        openDialog(QStringLiteral("frmSchedule"), [this] { return new frmSchedule(*this); });
        break;
    case Action::UndeliverableMail:
        openDialog(QStringLiteral("frmUndeliverable"),
                   [this] { return new frmUndeliverable(*this); });
        break;
    case Action::LoggingMode:
        openDialog(QStringLiteral("frmLogMode"), [this] { return new frmLogMode(*this); });
        break;
    case Action::TimeoutValues:
        openDialog(QStringLiteral("frmTimeOut"), [this] { return new frmTimeOut(*this); });
        break;
    case Action::SmtpSettings:
        openDialog(QStringLiteral("frmSMTPSettings"),
                   [this] { return new frmSMTPSettings(*this); });
        break;
    case Action::StartService:
        StartService();
        break;
    case Action::StopService:
        StopService();
        break;
    case Action::InstallService:
        InstallService();
        break;
    case Action::UninstallService:
        UninstallService();
        break;
    case Action::QueryMail:
        QueryMail();
        break;
    case Action::HelpContents:
        HelpContents();
        break;
    case Action::HelpUpdates:
        HelpUpdates();
        break;
    case Action::HelpSubmitBug:
        shell_->ShellOpen(modHelp::BugMailLink(modHelp::MenuVersionText()));
        break;
    case Action::HelpSubmitComment:
        shell_->ShellOpen(
            modHelp::SuggestionMailLink(modHelp::MenuVersionText(), modHelp::From::Menu));
        break;
    case Action::HelpAbout:
        openDialog(QStringLiteral("frmAbout"), [this] { return new frmAbout(*this); });
        break;
    }
}

void frmManagement::HelpContents() {
    const QString page = MainMod::HelpFolder + QStringLiteral("contents.htp");
    if (help_) {
        help_->navigate(page);
        return;
    }
    help_ = new frmHelp(*this, boxes_, *shell_);
    help_->load(page);
}

void frmManagement::HelpUpdates() {
    modHelp::CheckForNewVersion(this, boxes_);
}

void frmManagement::openDialog(const QString& name, const std::function<QDialog*()>& make) {
    dialogs_.removeAll(nullptr);
    // A closed dialog lingers until its deferred deletion.
    for (const QPointer<QDialog>& open : std::as_const(dialogs_))
        if (open->objectName() == name && open->isVisible()) {
            open->raise();
            open->activateWindow();
            return;
        }
    QDialog* dialog = make();
    dialog->setObjectName(name);
    dialogs_.append(dialog);
    dialog->show();
}

void frmManagement::askInternetCheck() {
    const bool checkIsOff = document_.configuration().Settings.NoInternetCheck == u"1";
    const MsgBox::Button answer =
        boxes_.show({tr("Do you want to confirm an Internet connection before querying for mail?"),
                     tr("Internet Connection"),
                     MsgBox::Icon::Question,
                     {MsgBox::Button::Yes, MsgBox::Button::No, MsgBox::Button::Cancel},
                     checkIsOff ? MsgBox::Button::No : MsgBox::Button::Yes});
    if (answer != MsgBox::Button::Yes && answer != MsgBox::Button::No)
        return;
    document_.change([answer](Configuration& config) {
        config.Settings.NoInternetCheck =
            answer == MsgBox::Button::Yes ? QStringLiteral("0") : QStringLiteral("1");
    });
}

void frmManagement::pollService() {
    ServiceState_ = poll_.poll();
    static constexpr std::array<int, 3> words = {223, 221, 222};
    servicePanel_->setText(LoadResString(215) +
                           LoadResString(words[static_cast<size_t>(ServiceState_)]));
}

void frmManagement::setFileStatus(const QString& text) {
    filePanel_->setText(text);
}

bool frmManagement::save(bool automatic) {
    // A question asked by the save lets the timers run meanwhile.
    if (saving_)
        return false;
    saving_ = true;
    if (automatic)
        setFileStatus(tr("File Status: Changes Detected."));
    const ConsoleDocument::SaveResult result = document_.save(boxes_);
    saving_ = false;
    using Result = ConsoleDocument::SaveResult;
    autoSaveHeld_ = result == Result::Cancelled;
    // The reason stays at hand for anyone who points at the panel.
    filePanel_->setToolTip(result == Result::Failed ? document_.lastError() : QString());
    const bool done = result == Result::Saved || result == Result::Reloaded;
    if (automatic)
        setFileStatus(fileStatus(done ? 220 : result == Result::Failed ? 219 : 218));
    else
        setFileStatus(LoadResString(217) + (done                       ? tr("Ready.")
                                            : result == Result::Failed ? tr("Unable to save.")
                                                                       : LoadResString(218)));
    save_->setEnabled(!done);
    return done;
}

void frmManagement::saveNow() {
    save(false);
}

void frmManagement::changeWatcher() {
    if (saving_)
        return;
    if (!document_.isChanged()) {
        // Someone else saved: show what the file holds now.
        if (document_.changedOnDisk() && document_.load())
            setFileStatus(fileStatus(220));
        return;
    }
    if (!autoSave() || autoSaveHeld_) {
        setFileStatus(fileStatus(218));
        save_->setEnabled(true);
        return;
    }
    save(true);
}

void frmManagement::closeEvent(QCloseEvent* event) {
    if (document_.isChanged()) {
        const MsgBox::Button answer =
            boxes_.show({tr("Do you want to save you changes?"),
                         tr("Save"),
                         MsgBox::Icon::Exclamation,
                         {MsgBox::Button::Yes, MsgBox::Button::No, MsgBox::Button::Cancel},
                         MsgBox::Button::Yes});
        const bool unsaved = answer == MsgBox::Button::Yes && !save(false);
        // Closing now would lose the changes the user just asked to keep.
        if (unsaved && !filePanel_->toolTip().isEmpty())
            boxes_.show({LoadResString(219) + QStringLiteral("\n\n") + filePanel_->toolTip(),
                         tr("Save"), MsgBox::Icon::Critical});
        if (unsaved || answer == MsgBox::Button::Cancel) {
            event->ignore();
            return;
        }
    }
    svcTmr_.stop();
    tmrUpdate_.stop();
    writePreferences();
    closeHelp();
    event->accept();
}

void frmManagement::closeHelp() {
    if (help_)
        help_->close();
}
