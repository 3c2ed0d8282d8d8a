#include "frmManagement.h"

#include "Ansi.h"
#include "FileMod.h"
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

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QSysInfo>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>

namespace {

const QString ComputerKey = QStringLiteral("C1");

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

QSettings preferences() {
    return QSettings(QStringLiteral("QVL_POP3"));
}

} // namespace

QIcon ConsoleIcon(const char* group, int number) {
    return QIcon(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(group)).arg(number));
}

// The icons sit in this static library, which the linker would otherwise leave out.
static void initResources() {
    Q_INIT_RESOURCE(console);
}

frmManagement::frmManagement(Configuration config, QString dataFilePath,
                             ServiceDirectory& directory, MessageBoxes& boxes, QWidget* parent)
    : QMainWindow(parent), config_(std::move(config)), dataFilePath_(std::move(dataFilePath)),
      boxes_(boxes), shell_(&desktopShell()), poll_(directory) {
    initResources();
    createMenus();
    createToolbar();
    createViews();
    modResource();
    AccountsMenu_->setEnabled(false);
    pollService();
    readPreferences();
    resize(780, 540);
    fitToScreen();
    BuildConfigTree(computerName(), ComputerKey);

    svcTmr_.setInterval(3000);
    connect(&svcTmr_, &QTimer::timeout, this, &frmManagement::pollService);
    svcTmr_.start();
    tmrUpdate_.setInterval(1000);
    connect(&tmrUpdate_, &QTimer::timeout, this, &frmManagement::changeWatcher);
    tmrUpdate_.start();
    connect(&Winsock1_, &QTcpSocket::readyRead, this, [this] { Winsock1DataArrival(0); });
}

frmManagement::~frmManagement() {
    // The dialogs are windows of their own and refer to this one.
    for (const QPointer<QDialog>& dialog : std::as_const(dialogs_))
        delete dialog.data();
}

void frmManagement::createMenus() {
    auto add = [this](QMenu* menu, const QString& caption, Action action) {
        QAction* item = menu->addAction(caption);
        connect(item, &QAction::triggered, this, [this, action] { run(action); });
        return item;
    };

    QMenu* file = menuBar()->addMenu(LoadResString(198));
    file->setObjectName(QStringLiteral("FileMenu"));
    QAction* exit = file->addAction(LoadResString(199));
    exit->setObjectName(QStringLiteral("FileExit"));
    connect(exit, &QAction::triggered, this, &frmManagement::FileExit);

    AccountsMenu_ = menuBar()->addMenu(tr("&Accounts"));
    AccountsMenu_->setObjectName(QStringLiteral("AccountsMenu"));
    add(AccountsMenu_, tr("&Add"), Action::AccountAdd);
    add(AccountsMenu_, tr("&Delete"), Action::AccountDelete);
    add(AccountsMenu_, tr("&Properties"), Action::AccountProperties);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    const QStringList views = {tr("&Large Icons"), tr("&Small Icons"), tr("&List"),
                               tr("&Detailed")};
    for (int mode = 0; mode < views.size(); ++mode)
        connect(view->addAction(views[mode]), &QAction::triggered, this,
                [this, mode] { setListMode(mode); });

    QMenu* options = menuBar()->addMenu(LoadResString(200));
    options->setObjectName(QStringLiteral("OptionsMenu"));
    OptionsAutoSave_ = options->addAction(LoadResString(201));
    OptionsAutoSave_->setObjectName(QStringLiteral("OptionsAutoSave"));
    OptionsAutoSave_->setCheckable(true);

    QMenu* help = menuBar()->addMenu(LoadResString(202));
    help->setObjectName(QStringLiteral("HelpMenu"));
    add(help, LoadResString(203), Action::HelpContents);
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
    struct Button {
        const char* toolTip;
        std::function<void()> action;
    };
    const std::array<Button, 11> buttons = {{
        {"Save Changes",
         [this] {
             saveButton();
         }},
        {"Add POP Account",
         [this] {
             run(Action::AccountAdd);
         }},
        {"Remove POP Account",
         [this] {
             run(Action::AccountDelete);
         }},
        {"Account Properties",
         [this] {
             run(Action::AccountProperties);
         }},
        {"Start Service",
         [this] {
             run(Action::StartService);
         }},
        {"Stop Service",
         [this] {
             run(Action::StopService);
         }},
        {"Large Icons",
         [this] {
             setListMode(LargeIcons);
         }},
        {"Small Icons",
         [this] {
             setListMode(SmallIcons);
         }},
        {"List View",
         [this] {
             setListMode(ListOnly);
         }},
        {"Detailed View",
         [this] {
             setListMode(Details);
         }},
        {"Help",
         [this] {
             run(Action::HelpContents);
         }},
    }};
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int position = static_cast<int>(i) + 1;
        // Groups: saving, accounts, service, views, help.
        if (position == 2 || position == 5 || position == 7 || position == 11)
            bar->addSeparator();
        QAction* button = bar->addAction(ConsoleIcon("toolbar", position), tr(buttons[i].toolTip));
        button->setToolTip(tr(buttons[i].toolTip));
        connect(button, &QAction::triggered, this, buttons[i].action);
        toolButtons_[i] = button;
    }
    for (int position = 1; position <= 4; ++position)
        toolButtons_[position - 1]->setEnabled(false);
}

void frmManagement::createViews() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    central->installEventFilter(this);

    localTreeView_ = new QTreeWidget(central);
    localTreeView_->setObjectName(QStringLiteral("localTreeView"));
    localTreeView_->setHeaderHidden(true);
    localTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(localTreeView_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { nodeClicked(current); });

    items_ = new QStandardItemModel(0, 2, this);
    items_->setHorizontalHeaderLabels({tr("Name"), tr("Comment")});

    listStack_ = new QStackedWidget(central);
    listStack_->setObjectName(QStringLiteral("localListView"));
    iconView_ = new QListView(listStack_);
    iconView_->setObjectName(QStringLiteral("iconView"));
    iconView_->setModel(items_);
    iconView_->setMovement(QListView::Static);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setWrapping(true);
    detailView_ = new QTreeView(listStack_);
    detailView_->setObjectName(QStringLiteral("detailView"));
    detailView_->setModel(items_);
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
        connect(view, &QAbstractItemView::doubleClicked, this,
                &frmManagement::listItemDoubleClicked);
    }
    connect(iconView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    strItemClicked_ = items_->index(current.row(), 0).data(KeyRole).toString();
            });

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
    QSettings settings = preferences();
    settings.beginGroup(QStringLiteral("Interface"));
    const QString autoSave = settings.value(QStringLiteral("AutoSave"), "1").toString();
    OptionsAutoSave_->setChecked(ReadRules::LeadingNumber(autoSave) == 1);
    bool numeric = false;
    const int mode = settings.value(QStringLiteral("LVMode"), "3").toString().toInt(&numeric);
    // The console never writes another value; anything else falls back to the default.
    setListMode(numeric && mode >= LargeIcons && mode <= Details ? mode : Details);
}

void frmManagement::writePreferences() const {
    QSettings settings = preferences();
    settings.beginGroup(QStringLiteral("Interface"));
    settings.setValue(QStringLiteral("AutoSave"),
                      OptionsAutoSave_->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("LVMode"), QString::number(listMode_));
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

bool frmManagement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        applyLayout();
    return QMainWindow::eventFilter(watched, event);
}

void frmManagement::applyLayout() {
    const QSize inner = centralWidget()->size();
    const int treeWidth = inner.width() / 3;
    localTreeView_->setGeometry(0, 0, treeWidth, inner.height());
    listStack_->setGeometry(treeWidth, 0, inner.width() - treeWidth, inner.height());
    detailView_->setColumnWidth(0, listStack_->width() / 3);
}

void frmManagement::setListMode(int mode) {
    listMode_ = static_cast<ListMode>(mode);
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
}

void frmManagement::addListItem(const QString& key, const QString& name, const QString& comment,
                                int iconNumber, bool withToolTip) {
    auto* nameItem = new QStandardItem(ConsoleIcon("list", iconNumber), name);
    nameItem->setData(key, KeyRole);
    nameItem->setData(iconNumber, IconNumberRole);
    auto* commentItem = new QStandardItem(comment);
    if (withToolTip) {
        nameItem->setToolTip(comment);
        commentItem->setToolTip(comment);
    }
    items_->appendRow({nameItem, commentItem});
}

void frmManagement::BuildItemList(const QString& nodeKey) {
    items_->removeRows(0, items_->rowCount());
    const QChar letter = nodeKey.isEmpty() ? QChar() : nodeKey.back().toUpper();
    struct Row {
        const char* key;
        const char* name;
        const char* comment;
        int icon;
    };
    static const Row smtp[] = {{"B1", "Modify SMTP Settings", "Configure your SMTP settings", 17}};
    static const Row service[] = {
        {"C1", "Start Service", "Start the service", 12},
        {"C2", "Stop Service", "Stop the service", 13},
        {"C3", "Install Service", "Add the service to the list of services to run on startup", 14},
        {"C4", "Uninstall Service",
         "Remove the service from the list of services to run on startup", 15}};
    static const Row options[] = {
        {"D1", "Schedule", "Schedule frequency of mail download", 3},
        {"D2", "Retrieve Mail", "Force Mail retrieval", 4},
        {"D3", "Undeliverable Mail", "Change how mail is returned to sender", 5},
        {"D4", "Internet Check", "Determine if an Internet connection is verified", 6},
        {"D5", "Logging Mode", "Modify How detailed logging will be to the event log", 7},
        {"D6", "Timeout Values", "Change the default timeout values for connections", 18}};

    auto addRows = [this](const auto& rows) {
        for (const Row& row : rows)
            addListItem(QLatin1String(row.key), tr(row.name), tr(row.comment), row.icon, false);
    };
    if (letter == u'A') {
        addAccountRows();
    } else if (letter == u'B') {
        addRows(smtp);
    } else if (letter == u'C') {
        addRows(service);
    } else if (letter == u'D') {
        addRows(options);
    }
}

void frmManagement::UpdateAccountList() {
    const QTreeWidgetItem* node = localTreeView_->currentItem();
    const QString key = node ? node->data(0, KeyRole).toString() : QString();
    if (key.endsWith(u'A', Qt::CaseInsensitive))
        BuildItemList(key);
}

void frmManagement::nodeClicked(QTreeWidgetItem* node) {
    const QString key = node ? node->data(0, KeyRole).toString() : QString();
    BuildItemList(key);
    strItemClicked_.clear();
    const bool accounts = key.endsWith(u'A');
    for (int position = 2; position <= 4; ++position)
        toolButtons_[position - 1]->setEnabled(accounts);
    AccountsMenu_->setEnabled(accounts);
}

void frmManagement::listItemDoubleClicked() {
    // Acts on the item last clicked, not the one under the pointer.
    const QString& key = strItemClicked_;
    if (key.isEmpty())
        return;
    static const QHash<QString, Action> byKey = {
        {"C1", Action::StartService},      {"C2", Action::StopService},
        {"C3", Action::InstallService},    {"C4", Action::UninstallService},
        {"D1", Action::Schedule},          {"D2", Action::QueryMail},
        {"D3", Action::UndeliverableMail}, {"D4", Action::InternetCheck},
        {"D5", Action::LoggingMode},       {"D6", Action::TimeoutValues}};
    const QChar group = key.front();
    if (group == u'X')
        run(Action::AccountProperties);
    else if (group == u'B')
        run(Action::SmtpSettings);
    else if (const auto found = byKey.constFind(QString(group) + key.back());
             found != byKey.constEnd())
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
        modHelp::CheckForNewVersion(boxes_);
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
    const bool checkIsOff = config_.Settings.NoInternetCheck == QLatin1String("1");
    const MsgBox::Button answer =
        boxes_.show({tr("Do you want to confirm an Internet connection before querying for mail?"),
                     tr("Internet Connection"),
                     MsgBox::Icon::Question,
                     {MsgBox::Button::Yes, MsgBox::Button::No},
                     checkIsOff ? MsgBox::Button::No : MsgBox::Button::Yes});
    config_.Settings.NoInternetCheck =
        answer == MsgBox::Button::Yes ? QStringLiteral("0") : QStringLiteral("1");
    setDataChanged();
}

void frmManagement::pollService() {
    ServiceState_ = poll_.poll();
    static constexpr std::array<int, 3> words = {223, 221, 222};
    servicePanel_->setText(LoadResString(215) +
                           LoadResString(words[static_cast<size_t>(ServiceState_)]));
}

void frmManagement::Winsock1DataArrival(int index) {
    QTcpSocket& socket = Winsock1_;
    const QString piece = Ansi::FromAnsi(socket.readAll());
    // A new piece replaces the last one: the test only ever looks at the latest reply.
    if (!piece.isEmpty())
        ReplyBuffer_.at(static_cast<size_t>(index)) = piece;
}

void frmManagement::setFileStatus(const QString& text) {
    filePanel_->setText(text);
}

bool frmManagement::saveAndReload() {
    const FileMod::FileResult saved = FileMod::SaveData(config_, dataFilePath_);
    // The reason stays at hand for anyone who points at the panel.
    filePanel_->setToolTip(saved.error);
    if (!saved)
        return false;
    // A failed reload keeps the configuration just written, which is what the file holds.
    [[maybe_unused]] const FileMod::FileResult reloaded =
        FileMod::LoadData(config_, dataFilePath_, FileMod::KeyPolicy::MakeNewKey);
    DataChanged_ = false;
    return true;
}

// A failed save keeps DataChanged and the configuration in memory, so the changes are
// neither thrown away by a reload nor lost without the closing question.
void frmManagement::saveButton() {
    const bool saved = saveAndReload();
    setFileStatus(LoadResString(217) + (saved ? tr("Ready.") : tr("Unable to save.")));
    toolButtons_[0]->setEnabled(!saved);
    if (saved)
        UpdateAccountList();
}

void frmManagement::changeWatcher() {
    if (!DataChanged_)
        return;
    if (!autoSave()) {
        setFileStatus(fileStatus(218));
        toolButtons_[0]->setEnabled(true);
        return;
    }
    setFileStatus(tr("File Status: Changes Detected."));
    const bool saved = saveAndReload();
    setFileStatus(fileStatus(saved ? 220 : 219));
    toolButtons_[0]->setEnabled(!saved);
    if (saved)
        UpdateAccountList();
}

void frmManagement::closeEvent(QCloseEvent* event) {
    if (exiting_) {
        closeHelp();
        event->accept();
        return;
    }
    if (DataChanged_ &&
        boxes_.show({tr("Do you want to save you changes?"),
                     tr("Save"),
                     MsgBox::Icon::Exclamation,
                     {MsgBox::Button::Yes, MsgBox::Button::No},
                     MsgBox::Button::Yes}) == MsgBox::Button::Yes &&
        !saveAndReload()) {
        // Closing now would lose the changes the user just asked to keep.
        boxes_.show({LoadResString(219) + QStringLiteral("\n\n") + filePanel_->toolTip(),
                     tr("Save"), MsgBox::Icon::Critical});
        event->ignore();
        return;
    }
    writePreferences();
    closeHelp();
    event->accept();
}

void frmManagement::closeHelp() {
    if (help_)
        help_->close();
}

void frmManagement::FileExit() {
    exiting_ = true;
    svcTmr_.stop();
    tmrUpdate_.stop();
    close();
    QCoreApplication::exit(0);
}
