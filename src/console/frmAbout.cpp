#include "frmAbout.h"

#include "ShellOpen.h"
#include "StringTable.h"
#include "UpdateCheck.h"
#include "frmManagement.h"
#include "modHelp.h"

#include <QGridLayout>
#include <QPushButton>

frmAbout::frmAbout(frmManagement& main) : ConsoleDialog(main, MainWindow::Disable) {
    const QString product = LoadResString(102);
    setWindowTitle(LoadResString(323) + u' ' + product);

    QLabel* title = label(product, QStringLiteral("lblTitle"));
    QFont bigger = title->font();
    bigger.setPointSizeF(bigger.pointSizeF() * 1.5);
    bigger.setBold(true);
    title->setFont(bigger);
    lblVersion_ = label(
        LoadResString(324) +
            QStringLiteral(" %1.%2").arg(UpdateCheck::ProgramMajor).arg(UpdateCheck::ProgramMinor),
        QStringLiteral("lblVersion"));
    // Fixed texts of the console, not read from the service.
    lblBuild0_ = label(LoadResString(327) + QStringLiteral("10"), QStringLiteral("lblBuild0"));
    QLabel* lblBuild1 =
        label(LoadResString(325) + QStringLiteral("81"), QStringLiteral("lblBuild1"));

    auto button = [this](const QString& caption, const QString& name, auto action) {
        auto* pushButton = new QPushButton(caption, this);
        pushButton->setObjectName(name);
        connect(pushButton, &QPushButton::clicked, this, action);
        return pushButton;
    };
    QPushButton* ok = button(LoadResString(111), QStringLiteral("cmdOK"), [this] { okClicked(); });
    ok->setDefault(true);
    QPushButton* sysInfo = button(LoadResString(329), QStringLiteral("cmdSysInfo"),
                                  [this] { modHelp::StartSysInfo(boxes_); });
    QPushButton* bug = button(tr("Submit a &Bug..."), QStringLiteral("cmdSubmitBug"), [this] {
        main_.shell().ShellOpen(modHelp::BugMailLink(subjectVersion()));
    });
    QPushButton* suggestion = button(tr("&Suggestion..."), QStringLiteral("cmdsuggestion"), [this] {
        main_.shell().ShellOpen(
            modHelp::SuggestionMailLink(subjectVersion(), modHelp::From::AboutBox));
    });

    auto* layout = new QGridLayout(this);
    layout->addWidget(title, 0, 0);
    layout->addWidget(lblVersion_, 1, 0);
    layout->addWidget(lblBuild0_, 2, 0);
    layout->addWidget(lblBuild1, 3, 0);
    layout->setRowStretch(4, 1);
    layout->addWidget(ok, 0, 1);
    layout->addWidget(sysInfo, 1, 1);
    layout->addWidget(bug, 2, 1);
    layout->addWidget(suggestion, 3, 1);
}

QString frmAbout::subjectVersion() const {
    return lblVersion_->text() + u' ' + lblBuild0_->text();
}
