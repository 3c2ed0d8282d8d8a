#include "SlotWorker.h"

SlotWorker::SlotWorker(RealTime& clock, QObject* parent)
    : QObject(parent), slot_(new SessionSlot(clock)) {
    slot_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, slot_, &QObject::deleteLater);
    thread_.start();
}

SlotWorker::~SlotWorker() {
    requestStop();
    thread_.quit();
    thread_.wait();
}

bool SlotWorker::run(const ServiceSettings& settings, Session session) {
    if (busy_.exchange(true))
        return false;
    QMetaObject::invokeMethod(
        slot_,
        [this, settings, session = std::move(session)] {
            slot_->Settings = settings;
            const bool ok = session(*slot_);
            const QString encryption = slot_->POPEncryption;
            busy_.store(false);
            QMetaObject::invokeMethod(this, [this, ok, encryption] {
                popEncryption_ = encryption;
                emit finished(ok);
            });
        },
        Qt::QueuedConnection);
    return true;
}

void SlotWorker::requestStop() {
    slot_->RequestStop();
}
