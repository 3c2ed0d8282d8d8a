#include "frmWaitAni.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QtMath>

namespace {

// A magnifying glass circling over a computer screen, one step per frame.
class SearchAnimation : public QWidget {
public:
    SearchAnimation(const frmWaitAni& window, QWidget* parent) : QWidget(parent), window_(window) {
        setFixedSize(64, 48);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::darkGray, 2));
        p.setBrush(QColor(0x3a, 0x6e, 0xa5));
        p.drawRoundedRect(QRectF(8, 6, 40, 28), 3, 3);
        p.setBrush(Qt::darkGray);
        p.drawRect(QRectF(22, 34, 12, 6));

        const double angle = 2 * M_PI * window_.frame() / frmWaitAni::FrameCount;
        const QPointF lens(28 + 12 * qCos(angle), 20 + 8 * qSin(angle));
        p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(lens + QPointF(6, 6), lens + QPointF(14, 14));
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(lens, 8, 8);
    }

private:
    const frmWaitAni& window_;
};

} // namespace

frmWaitAni::frmWaitAni(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmWaitAni"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    auto* animation = new SearchAnimation(*this, this);
    layout->addWidget(animation);
    auto* text = new QLabel(tr("Please Wait..."), this);
    text->setObjectName(QStringLiteral("lblWait"));
    layout->addWidget(text);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    move(screen()->geometry().center() - rect().center());

    frameTimer_.setInterval(100);
    connect(&frameTimer_, &QTimer::timeout, this, [this, animation] {
        frame_ = (frame_ + 1) % FrameCount;
        animation->update();
    });
    frameTimer_.start();
    show();
}

void frmWaitAni::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
