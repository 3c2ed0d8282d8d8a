#include "MailboxPropFrm.h"

#include "ConfigModel.h"
#include "ConsoleDocument.h"
#include "MessageBoxes.h"
#include "ReadRules.h"
#include "StringTable.h"
#include "frmManagement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int ExchangeUserLabel = 6;
constexpr int ExchangeUserBox = 5;

} // namespace

MailboxPropFrm::MailboxPropFrm(frmManagement& main, int index, bool editMode)
    : ConsoleDialog(main, MainWindow::Disable), EditMode(editMode), index_(index),
      GlobalChkBox_(new QCheckBox(LoadResString(187), this)),
      MailHostChkBox_(new QCheckBox(LoadResString(188), this)) {
    setWindowTitle(LoadResString(177));
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < static_cast<int>(NameLbl_.size()); ++i) {
        NameLbl_[i] = new QLabel(LoadResString(178 + i), this);
        NameLbl_[i]->setObjectName(QStringLiteral("NameLbl%1").arg(i));
        grid->addWidget(NameLbl_[i], i, 0);
    }
    // Box 5 sits beside label 6: label 5 belongs to the authentication method.
    for (int i = 0; i < static_cast<int>(AccountInfoTxt_.size()); ++i) {
        AccountInfoTxt_[i] = new QLineEdit(this);
        AccountInfoTxt_[i]->setObjectName(QStringLiteral("AccountInfoTxt%1").arg(i));
        NameLbl_[i < ExchangeUserBox ? i : ExchangeUserLabel]->setBuddy(AccountInfoTxt_[i]);
        grid->addWidget(AccountInfoTxt_[i], i < ExchangeUserBox ? i : ExchangeUserLabel, 1);
    }
    for (int i : {3, 4}) {
        AccountInfoTxt_[i]->setEchoMode(QLineEdit::Password);
        AccountInfoTxt_[i]->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    }
    auto* method = new QComboBox(this);
    method->setObjectName(QStringLiteral("Combo1"));
    method->addItem(tr("Basic Authentication"));
    grid->addWidget(method, 5, 1);

    auto* computers = new QComboBox(this);
    computers->setObjectName(QStringLiteral("cboArrayComputer"));
    for (const ArrayMachine& machine : document_.configuration().Machines)
        if (!machine.MachineName.isEmpty())
            computers->addItem(machine.MachineName);
    grid->addWidget(computers, 7, 1);

    GlobalChkBox_->setObjectName(QStringLiteral("GlobalChkBox"));
    MailHostChkBox_->setObjectName(QStringLiteral("MailHostChkBox"));
    grid->addWidget(GlobalChkBox_, 8, 0, 1, 2);
    grid->addWidget(MailHostChkBox_, 9, 0, 1, 2);
    connect(GlobalChkBox_, &QCheckBox::toggled, this, &MailboxPropFrm::globalClicked);

    QDialogButtonBox* okCancel = buttons(tr("&OK"), "OKBut", tr("&Cancel"), "Cancel");
    grid->addWidget(okCancel, 10, 0, 1, 2);

    // Tab goes down the rows as they are shown; the check boxes were made first.
    QList<QWidget*> order(AccountInfoTxt_.begin(), AccountInfoTxt_.begin() + ExchangeUserBox);
    order << method << AccountInfoTxt_[ExchangeUserBox] << computers << GlobalChkBox_
          << MailHostChkBox_ << okCancel;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    AccountInfoTxt_[0]->setFocus();

    if (EditMode)
        load(document_.configuration().Accounts[static_cast<size_t>(index)]);
}

void MailboxPropFrm::load(const AccountRecord& record) {
    const QString texts[] = {
        record.AccountName, record.MailServer,
        record.UserName,    record.Password,
        record.Password,    record.GlobalMailHost ? record.RemoteDomain : record.ExchangeUser};
    GlobalChkBox_->setChecked(record.GlobalMailHost);
    for (size_t i = 0; i < AccountInfoTxt_.size(); ++i)
        AccountInfoTxt_[i]->setText(texts[i]);
    MailHostChkBox_->setChecked(record.KeepMailOnHost);
}

void MailboxPropFrm::globalClicked() {
    NameLbl_[ExchangeUserLabel]->setText(LoadResString(GlobalChkBox_->isChecked() ? 186 : 184));
}

void MailboxPropFrm::okClicked() {
    for (const QLineEdit* box : AccountInfoTxt_)
        if (ReadRules::TrimSpaces(box->text()).isEmpty()) {
            boxes_.show({LoadResString(295), LoadResString(294), MsgBox::Icon::Exclamation});
            return;
        }
    for (size_t i = 0; i < AccountInfoTxt_.size(); ++i) {
        const QLabel* label = NameLbl_[i < ExchangeUserBox ? i : ExchangeUserLabel];
        if (!storable(label->text().chopped(1), AccountInfoTxt_[i]->text()))
            return;
    }
    if (AccountInfoTxt_[3]->text() != AccountInfoTxt_[4]->text()) {
        boxes_.show({LoadResString(309), LoadResString(308), MsgBox::Icon::Information});
        return;
    }
    AccountRecord record;
    record.AccountName = AccountInfoTxt_[0]->text();
    record.MailServer = AccountInfoTxt_[1]->text();
    record.UserName = AccountInfoTxt_[2]->text();
    record.Password = AccountInfoTxt_[3]->text();
    record.GlobalMailHost = GlobalChkBox_->isChecked();
    const QString fifth = AccountInfoTxt_[ExchangeUserBox]->text();
    record.RemoteDomain = record.GlobalMailHost ? fifth : QString();
    record.ExchangeUser = record.GlobalMailHost ? QString() : fifth;
    record.KeepMailOnHost = MailHostChkBox_->isChecked();
    document_.change([this, &record](Configuration& config) {
        config.Accounts[static_cast<size_t>(index_)] = record;
    });
    accept();
}
