#include "Spinner.h"

#include "ReadRules.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

Spinner::Spinner(const QString& name, const QString& scrollName, int minimum, int maximum,
                 QWidget* parent)
    : QWidget(parent), box_(new QLineEdit(this)), bar_(new QScrollBar(Qt::Vertical, this)) {
    box_->setObjectName(name);
    setObjectName(scrollName);
    // Qt's vertical bars count up downwards; the bar holds the number negated so that its
    // top arrow counts up.
    bar_->setRange(-maximum, -minimum);
    bar_->setSingleStep(1);
    bar_->setPageStep(10);
    bar_->setFixedHeight(box_->sizeHint().height());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(box_);
    row->addWidget(bar_);
    connect(bar_, &QScrollBar::valueChanged, box_,
            [this](int value) { box_->setText(QString::number(-value)); });
    // The arrows count on from what was typed.
    connect(box_, &QLineEdit::textEdited, this, [this](const QString& typed) { moveBar(typed); });
}

void Spinner::moveBar(const QString& text) {
    const QSignalBlocker quiet(bar_);
    const double number = -ReadRules::LeadingNumber(text);
    bar_->setValue(static_cast<int>(qBound<double>(bar_->minimum(), number, bar_->maximum())));
}

void Spinner::showStored(const QString& stored) {
    moveBar(stored);
    box_->setText(stored);
}

QString Spinner::text() const {
    return box_->text();
}

void Spinner::setText(const QString& text) {
    moveBar(text);
    box_->setText(text);
}

int Spinner::minimum() const {
    return -bar_->maximum();
}

int Spinner::position() const {
    return -bar_->value();
}
