#include "ConsoleWindow.h"
#include "LocalHttpServer.h"
#include "MainMod.h"
#include "StringTable.h"
#include "frmHelp.h"
#include "modHelp.h"

#include <QFile>
#include <QScreen>
#include <QTextBrowser>

using Button = MsgBox::Button;

class TestHelpViewer : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleWindow> console_;
    std::unique_ptr<QTemporaryDir> programDir_;

    static void write(const QString& path, const QByteArray& body) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
    }

    static QString page(const QString& name) { return MainMod::HelpFolder + name; }

    void installPages() {
        QDir().mkpath(MainMod::HelpFolder);
        write(page("contents.htp"),
              "<html><body><h1>Contents</h1><a href=\"faq.htp\">FAQ</a></body></html>");
        write(page("faq.htp"), "<html><body><h1>Questions</h1></body></html>");
    }

    void contents() { console_->chooseHelp(LoadResString(203)); }

    static frmHelp* viewer() {
        return qobject_cast<frmHelp*>(ConsoleWindow::dialog(QStringLiteral("frmHelp")));
    }

    static QTextBrowser* browser() {
        return viewer()->findChild<QTextBrowser*>(QStringLiteral("wbHelp"));
    }

    static QAction* tool(const char* name) {
        return viewer()->findChild<QAction*>(QLatin1String(name));
    }

    static int viewerCount() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += widget->objectName() == u"frmHelp" && widget->isVisible();
        return count;
    }

private slots:
    void init() {
        console_ = std::make_unique<ConsoleWindow>();
        programDir_ = std::make_unique<QTemporaryDir>();
        MainMod::HelpFolder = programDir_->path() + QStringLiteral("/Help/");
        console_->open();
    }

    void cleanup() {
        console_.reset();
        qunsetenv("HOLLIMERE_UPDATE_URL");
    }

    void contentsOpensOneViewerAndRenavigatesIt() {
        installPages();
        contents();
        QVERIFY(viewer());
        QCOMPARE(browser()->source(), QUrl::fromLocalFile(page("contents.htp")));
        QVERIFY(browser()->toPlainText().contains(u"Contents"));
        QCOMPARE(viewer()->windowTitle(), QStringLiteral("Help"));

        // A link leads on; Back returns; Contents again comes home in the same window.
        browser()->setFocus();
        emit browser()->anchorClicked(QUrl(QStringLiteral("faq.htp")));
        QVERIFY(browser()->toPlainText().contains(u"Questions"));
        tool("Back")->trigger();
        QCOMPARE(browser()->source(), QUrl::fromLocalFile(page("contents.htp")));
        emit browser()->anchorClicked(QUrl(QStringLiteral("faq.htp")));
        contents();
        QCOMPARE(viewerCount(), 1);
        QCOMPARE(browser()->source(), QUrl::fromLocalFile(page("contents.htp")));
        QVERIFY(console_->boxes.shown.isEmpty());

        // Mail and web links go to the desktop; the viewer stays where it is.
        emit browser()->anchorClicked(QUrl(QStringLiteral("mailto:help@hollimere.example")));
        QCOMPARE(console_->shell.opened, QStringList{"mailto:help@hollimere.example"});
        QCOMPARE(browser()->source(), QUrl::fromLocalFile(page("contents.htp")));
    }

    void backIsDisabledUntilAPageHasLoaded() {
        installPages();
        frmHelp help(console_->window(), console_->boxes, console_->shell);
        auto* back = help.findChild<QAction*>(QStringLiteral("Back"));
        QCOMPARE(help.windowTitle(), QStringLiteral("Help - Untitled"));
        QVERIFY(!back->isEnabled());
        help.load(page("contents.htp"));
        QVERIFY(back->isEnabled());
        QCOMPARE(help.windowTitle(), QStringLiteral("Help"));
    }

    void missingHelpIsOffered_data() {
        QTest::addColumn<Button>("answer");
        QTest::newRow("refused") << Button::No;
        QTest::newRow("downloaded") << Button::Yes;
    }

    void missingHelpIsOffered() {
        QFETCH(Button, answer);
        LocalHttpServer server;
        const QString folder = QStringLiteral("/us/software/qvlGateway/AppHelpV3/");
        for (const QString& name : modHelp::HelpFiles)
            server.serve(folder + name, name.toUtf8() + " from the web");
        server.serve(folder + "faq.htp", "gone", 404);
        qputenv("HOLLIMERE_UPDATE_URL", server.url().toString().toUtf8());

        console_->boxes.answerNext(answer);
        contents();
        QCOMPARE(console_->boxes.shown.size(), 1);
        const MsgBox::Request& offer = console_->boxes.shown.first();
        QCOMPARE(offer.text, QStringLiteral("Help was not found, do you want to download?"));

        if (answer == Button::No) {
            QVERIFY(server.requestedPaths().isEmpty());
            QVERIFY(browser()->toPlainText().contains(u"cannot be displayed"));
            return;
        }
        QStringList expected;
        for (const QString& name : modHelp::HelpFiles)
            expected.append(folder + name);
        QTRY_COMPARE(server.requestedPaths(), expected);
        QTRY_COMPARE(console_->boxes.shown.size(), 2); // the file that failed is named
        for (const QString& name : modHelp::HelpFiles) {
            QFile file(page(name));
            if (name == u"faq.htp") {
                QVERIFY(!file.exists());
                continue;
            }
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(file.readAll(), name.toUtf8() + " from the web");
        }
        QCOMPARE(browser()->toPlainText(), QStringLiteral("contents.htp from the web"));
        QVERIFY(viewer()->isEnabled());

        // Downloading again shows the fresh page; what fails now keeps its old copy.
        server.serve(folder + "contents.htp", "<p>Fresh contents</p>");
        server.serve(folder + "basicop.htp", "gone", 404);
        tool("DownloadHelp")->trigger();
        QTRY_COMPARE(browser()->toPlainText(), QStringLiteral("Fresh contents"));
        QVERIFY(QFile::exists(page("basicop.htp")));
    }

    void viewerFollowsTheMainWindow() {
        installPages();
        frmManagement& main = console_->window();
        contents();
        const QRect screenArea = main.screen()->geometry();
        QCOMPARE(viewer()->width(), screenArea.width() / 3);
        // The two side by side are centred (to a pixel: the gap may be odd).
        QTRY_VERIFY(qAbs((main.frameGeometry().x() - screenArea.x()) -
                         (screenArea.right() - viewer()->frameGeometry().right())) <= 1);

        auto attached = [&main] {
            const QRect frame = main.frameGeometry();
            return viewer()->frameGeometry().topLeft() ==
                       QPoint(frame.x() + frame.width(), frame.y()) &&
                   viewer()->height() == main.height();
        };
        QTRY_VERIFY(attached());
        main.move(main.pos() + QPoint(-40, 25));
        QTRY_VERIFY(attached());
        main.resize(main.width() - 30, main.height() - 50);
        QTRY_VERIFY(attached());

        viewer()->close();
        QTRY_COMPARE(main.frameGeometry().center(), screenArea.center());
    }

    void closingTheMainWindowClosesTheViewer() {
        installPages();
        contents();
        QVERIFY(console_->window().close());
        QTRY_COMPARE(viewerCount(), 0);
    }
};

QTEST_MAIN(TestHelpViewer)
#include "tst_helpviewer.moc"
