#pragma once

// The service's control object: its timers and the mail cycle. Its thread never blocks,
// so that stop, pause and continue are answered at once: the Internet check and the
// version download answer later, and the cycle goes on from their answers.

#include "ConfigModel.h"
#include "FileMod.h"
#include "RealTime.h"
#include "ServiceSettings.h"
#include "SlotWorker.h"

#include <QDate>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

class CtrlFrm : public QObject {
    Q_OBJECT

public:
    // Serves one account's mailbox on a slot; true when the session reached its end.
    using Retrieve = std::function<bool(SessionSlot& slot, const AccountRecord& account)>;

    struct Setup {
        QString dataFile;    // HOLLISVC.ini
        QString stateFolder; // where the version file is kept
        int secondMs = 1000;
        bool queryMode = false;
        Retrieve retrieve;
        std::function<QDate()> today = &QDate::currentDate;
    };

    static constexpr int CycleTickSeconds = 5;

    explicit CtrlFrm(Setup setup, QObject* parent = nullptr);
    ~CtrlFrm() override;

    void Start(); // and Continue switch the cycle timer on, Pause off
    void Pause();
    void Continue();
    // Every session's waits end at once; stopped() follows when none is left running.
    void Stop();

    // The cycle timer's tick; never re-entered while a cycle is under way.
    void MailCycle();

    [[nodiscard]] RealTime& Clock() { return clock_; }
    [[nodiscard]] qint32 NextQueryTime() const { return nextQueryTime_; }
    [[nodiscard]] bool CycleRunning() const { return cycleRunning_; }
    [[nodiscard]] bool CycleTimerOn() const { return ChkMailTmr.isActive(); }
    [[nodiscard]] int SessionsRunning() const { return int(sessions_.size()); }

signals:
    void queryFinished(); // the query-mode cycle has ended
    void stopped();       // stop was asked and no session runs any more

private:
    [[nodiscard]] qint16 currentInterval();
    [[nodiscard]] bool load(Configuration& config);  // reporting a failure (1200, 1090)
    template <class Step> void guarded(Step&& step); // under the cycle's error handler
    void CheckForNewVersion();
    void serveAccounts();
    void runSequential(int index);
    // Serves the account on the worker; then() follows once the outcome is logged (1000
    // naming the protection, or 8000).
    void serve(SlotWorker& worker, const ServiceSettings& settings, const AccountRecord& account,
               const std::function<void()>& then);
    void queueSessions();
    void SessionTick(int index);
    void endSession(int index);
    void reschedule();
    [[nodiscard]] bool accountAt(const Configuration& config, int index) const;
    void checkStopped();

    Setup setup_;
    RealTime clock_;
    RealTimer RealTimer_;
    QTimer ChkMailTmr;
    Configuration config_;
    ServiceSettings settings_; // read from config_ by each cycle
    // The data file as the tick last saw it, and its interval.
    std::optional<FileMod::FileStamp> seenStamp_;
    std::optional<qint16> seenInterval_;
    qint32 nextQueryTime_ = 0;
    QDate LastUpdateCheck;
    bool cycleRunning_ = false;
    bool stopping_ = false;
    // Slot 0 serves the sequential cycle; in multitask mode each account has its own.
    std::unique_ptr<SlotWorker> sequential_;
    std::map<int, std::unique_ptr<SlotWorker>> sessions_;
    std::map<int, QTimer> chkMailTmr2;
    // Holds the Internet probe or version download under way; Stop cancels it.
    QObject webCalls_;
};
