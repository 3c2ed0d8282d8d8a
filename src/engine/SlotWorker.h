#pragma once

// The thread of one session slot. The slot lives on it; sessions are handed to it one
// at a time and run there, side by side with the sessions of other slots.

#include "SessionSlot.h"

#include <QObject>
#include <QThread>
#include <functional>

class SlotWorker : public QObject {
    Q_OBJECT

public:
    using Session = std::function<bool(SessionSlot&)>;

    explicit SlotWorker(RealTime& clock, QObject* parent = nullptr);
    // Stops a running session and waits for the thread to end.
    ~SlotWorker() override;
    SlotWorker(const SlotWorker&) = delete;
    SlotWorker& operator=(const SlotWorker&) = delete;

    // Starts session on the slot's thread with these settings and returns at once;
    // finished() carries its result. False, and nothing started, while
    // a session runs.
    [[nodiscard]] bool run(const ServiceSettings& settings, Session session);
    [[nodiscard]] bool busy() const { return busy_.load(); }
    // Makes every wait of the running session (and of later ones) end at once.
    void requestStop();
    // The slot's POPEncryption when the latest session finished.
    [[nodiscard]] QString popEncryption() const { return popEncryption_; }

signals:
    void finished(bool ok);

private:
    QThread thread_;
    SessionSlot* slot_; // lives on thread_, deleted when it ends
    std::atomic_bool busy_{false};
    QString popEncryption_; // read and written on the thread of this object
};
