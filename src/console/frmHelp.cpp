#include "frmHelp.h"

#include "ConsoleDialog.h"
#include "MainMod.h"
#include "MessageBoxes.h"
#include "ShellOpen.h"
#include "WebRoutines.h"
#include "frmWaitAni.h"
#include "modHelp.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>

namespace {

// A page that cannot be read shows why instead of an empty window.
class HelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        QVariant resource = QTextBrowser::loadResource(type, name);
        if (type == QTextDocument::HtmlResource && !resource.isValid())
            return QStringLiteral("<h3>%1</h3><p>%2</p>")
                .arg(QObject::tr("This page cannot be displayed"),
                     name.toLocalFile().toHtmlEscaped());
        return resource;
    }
};

} // namespace

frmHelp::frmHelp(QWidget& main, MessageBoxes& boxes, Shell& shell)
    : QMainWindow(&main, Qt::Window), main_(main), boxes_(boxes), shell_(shell) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(tr("Help - Untitled"));

    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("Toolbar"));
    bar->setMovable(false);
    back_ = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Back"));
    back_->setObjectName(QStringLiteral("Back"));
    back_->setEnabled(false);
    QAction* download =
        bar->addAction(style()->standardIcon(QStyle::SP_BrowserReload), tr("Download Help"));
    download->setObjectName(QStringLiteral("DownloadHelp"));

    wbHelp_ = new HelpBrowser(this);
    wbHelp_->setObjectName(QStringLiteral("wbHelp"));
    wbHelp_->setOpenLinks(false);
    setCentralWidget(wbHelp_);

    connect(back_, &QAction::triggered, wbHelp_, &QTextBrowser::backward);
    connect(download, &QAction::triggered, this, [this] { downloadHelp(); });
    connect(wbHelp_, &QTextBrowser::sourceChanged, this, &frmHelp::pageLoaded);
    connect(wbHelp_, &QTextBrowser::anchorClicked, this, &frmHelp::linkClicked);
    main_.installEventFilter(this);
}

void frmHelp::load(const QString& page) {
    const QRect screenArea = main_.screen()->geometry();
    setFixedWidth(screenArea.width() / 3);
    show();
    // The pair side by side is centred on the screen, frames included.
    main_.move(screenArea.x() +
                   (screenArea.width() - main_.frameGeometry().width() - frameGeometry().width()) /
                       2,
               main_.frameGeometry().y());
    followMain();
    navigate(page);
    if (QFileInfo::exists(MainMod::HelpFolder + QStringLiteral("contents.htp")))
        return;
    if (modHelp::HelpWebFolder().isEmpty()) {
        noServer();
        return;
    }
    if (boxes_.show({tr("Help was not found, do you want to download?"),
                     tr("Download Help"),
                     MsgBox::Icon::Exclamation,
                     {MsgBox::Button::Yes, MsgBox::Button::No},
                     MsgBox::Button::Yes}) != MsgBox::Button::Yes)
        return;
    downloadHelp();
}

void frmHelp::noServer() {
    boxes_.show({tr("The help pages are not in %1, and no help server is set up to download "
                    "them from.")
                     .arg(MainMod::HelpFolder),
                 tr("Download Help"), MsgBox::Icon::Information});
}

void frmHelp::navigate(const QString& page) {
    const QUrl url = QUrl::fromLocalFile(page);
    if (wbHelp_->source() == url)
        wbHelp_->reload();
    else
        wbHelp_->setSource(url);
}

void frmHelp::downloadHelp() {
    const QUrl folder = modHelp::HelpWebFolder();
    if (folder.isEmpty()) {
        noServer();
        return;
    }
    RunWaiting(
        this,
        [folder] {
            QDir().mkpath(MainMod::HelpFolder);
            int fetched = 0;
            for (const QString& name : modHelp::HelpFiles)
                fetched += WebRoutines::DownloadFile(folder.resolved(QUrl(name)),
                                                     MainMod::HelpFolder + name);
            return fetched;
        },
        [this, folder](std::optional<int> fetched) {
            if (fetched && *fetched < modHelp::HelpFiles.size())
                boxes_.show({tr("%1 of the %2 help files could not be downloaded from %3.")
                                 .arg(modHelp::HelpFiles.size() - *fetched)
                                 .arg(modHelp::HelpFiles.size())
                                 .arg(folder.toDisplayString()),
                             tr("Download Help"), MsgBox::Icon::Exclamation});
            wbHelp_->reload();
        });
}

void frmHelp::pageLoaded() {
    setWindowTitle(tr("Help"));
    back_->setEnabled(true);
}

void frmHelp::linkClicked(const QUrl& link) {
    const QUrl target = wbHelp_->source().resolved(link);
    if (target.isLocalFile())
        wbHelp_->setSource(target);
    else
        shell_.ShellOpen(target.toString());
}

void frmHelp::followMain() {
    const QRect frame = main_.frameGeometry();
    move(frame.x() + frame.width(), frame.y());
    resize(width(), main_.height());
}

bool frmHelp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &main_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        followMain();
    return QMainWindow::eventFilter(watched, event);
}

void frmHelp::closeEvent(QCloseEvent* event) {
    main_.removeEventFilter(this);
    CenterForm(main_);
    QMainWindow::closeEvent(event);
}
