#pragma once

// Turns SIGTERM, SIGINT, SIGUSR1 and SIGUSR2 into Qt signals on the main thread, so
// that stop, pause and continue run as ordinary event handlers.

#include <QObject>
#include <QSocketNotifier>

#include <memory>

class SignalWatcher : public QObject {
    Q_OBJECT

public:
    // One per process.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void stopRequested();
    void pauseRequested();
    void continueRequested();

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> notifier_;
};
