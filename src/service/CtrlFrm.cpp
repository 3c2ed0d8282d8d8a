#include "CtrlFrm.h"

#include "EventLog.h"
#include "ReadRules.h"
#include "UpdateCheck.h"
#include "WebRoutines.h"

#include <QDir>
#include <QLocale>

#include <cstdlib>
#include <new>

CtrlFrm::CtrlFrm(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), clock_(setup_.secondMs), RealTimer_(clock_) {
    ChkMailTmr.setInterval(CycleTickSeconds * clock_.secondMs());
    connect(&ChkMailTmr, &QTimer::timeout, this, &CtrlFrm::MailCycle);
}

CtrlFrm::~CtrlFrm() = default;

void CtrlFrm::Start() {
    ChkMailTmr.start();
}

void CtrlFrm::Pause() {
    ChkMailTmr.stop();
    LogEvent(EventLog::Information, 110, QStringLiteral("Service paused"));
}

void CtrlFrm::Continue() {
    ChkMailTmr.start();
    LogEvent(EventLog::Information, 110, QStringLiteral("Service resumed"));
}

void CtrlFrm::Stop() {
    stopping_ = true;
    ChkMailTmr.stop();
    const QObjectList calls = webCalls_.children();
    qDeleteAll(calls); // their answers never come
    for (auto& [index, timer] : chkMailTmr2)
        timer.stop();
    if (sequential_)
        sequential_->requestStop();
    for (auto& [index, worker] : sessions_)
        worker->requestStop();
    checkStopped();
}

void CtrlFrm::checkStopped() {
    const bool idle = std::none_of(sessions_.begin(), sessions_.end(),
                                   [](const auto& session) { return session.second->busy(); });
    if (stopping_ && idle && !(sequential_ && sequential_->busy()))
        emit stopped();
}

bool CtrlFrm::accountAt(const Configuration& config, int index) const {
    return index < AccountSlots &&
           !ReadRules::TrimSpaces(config.Accounts[index].AccountName).isEmpty();
}

template <class Step> void CtrlFrm::guarded(Step&& step) {
    try {
        step();
    } catch (const std::exception& e) { // 7: out of memory, 5: anything else
        LogEvent(EventLog::Error, 5000,
                 QStringLiteral("ChkMail Error Number: %1")
                     .arg(dynamic_cast<const std::bad_alloc*>(&e) ? 7 : 5));
        reschedule();
    }
}

void CtrlFrm::MailCycle() {
    if (cycleRunning_ || stopping_)
        return;
    const qint32 now = clock_.now();
    const qint64 interval = qint64(currentInterval()) * 60;
    if (std::llabs(qint64(nextQueryTime_) - now) > interval)
        nextQueryTime_ = 0;
    if (nextQueryTime_ > now && nextQueryTime_ != 0) {
        if (setup_.queryMode)
            emit queryFinished();
        return;
    }

    cycleRunning_ = true;
    guarded([this] {
        if (!load(config_)) {
            config_.Settings.CheckInterval = 5;
            return reschedule();
        }
        settings_ = ReadServiceSettings(config_.Settings);
        if (!settings_.internetCheck)
            return CheckForNewVersion();
        WebRoutines::ProbeInternet(&webCalls_, [this](bool connected) {
            guarded([this, connected] {
                if (connected)
                    return CheckForNewVersion();
                LogEvent(EventLog::Error, 8010,
                         QStringLiteral("Internet Connection was not detected, retrying at next "
                                        "mail retrieval cycle.  Note: Be sure you have 'Work "
                                        "Offline' unchecked in Internet Explorer"));
                reschedule();
            });
        });
    });
}

qint16 CtrlFrm::currentInterval() {
    // A look at the file when it has changed, so that an interval the console shortened
    // counts now, not only after the wait the old one set.
    if (const auto stamp = FileMod::StampOf(setup_.dataFile); stamp != seenStamp_) {
        seenStamp_ = stamp;
        Configuration latest;
        seenInterval_.reset();
        if (FileMod::LoadData(latest, setup_.dataFile, FileMod::KeyPolicy::RequireKey))
            seenInterval_ = latest.Settings.CheckInterval;
    }
    return seenInterval_.value_or(config_.Settings.CheckInterval);
}

bool CtrlFrm::load(Configuration& config) {
    const FileMod::FileResult loaded =
        FileMod::LoadData(config, setup_.dataFile, FileMod::KeyPolicy::RequireKey);
    if (loaded.failure == FileMod::FileResult::Failure::NoKey)
        LogEvent(EventLog::Error, 1200,
                 QStringLiteral("Data File Not setup, Run QVL POP3 Management Console."));
    else if (!loaded)
        LogEvent(EventLog::Error, 1090, QStringLiteral("Read Engine Error: ") + loaded.error);
    return bool(loaded);
}

void CtrlFrm::CheckForNewVersion() {
    const QDate today = setup_.today();
    if (LastUpdateCheck == today)
        return serveAccounts();
    const auto checked = [this, today](const std::optional<QString>& text) {
        guarded([&] {
            if (text && UpdateCheck::IsNewerVersion(*text))
                LogEvent(EventLog::Information, 9900,
                         QStringLiteral("There is a new version (") + *text +
                             QStringLiteral(") of this service available.  Goto ") +
                             UpdateCheck::DownloadPageUrl());
            if (text)
                LastUpdateCheck = today;
            serveAccounts();
        });
    };
    UpdateCheck::FetchVersionText(QDir(setup_.stateFolder).filePath(QStringLiteral("Revision.dat")),
                                  &webCalls_, checked);
}

void CtrlFrm::serveAccounts() {
    if (settings_.smtpServer.isEmpty() || settings_.smtpPortText.isEmpty() ||
        settings_.localDomain.isEmpty()) {
        LogEvent(EventLog::Error, 8897,
                 QStringLiteral("No SMTP Server defined.  Run QVL POP3 Management Console"));
        return reschedule();
    }
    if (!settings_.smtpPort) {
        LogEvent(EventLog::Error, 8898,
                 QStringLiteral("SMTP port is not a number from 1 to 65535: ") +
                     settings_.smtpPortText);
        return reschedule();
    }
    const QDate today = setup_.today();
    if (settings_.noMailDays[today.dayOfWeek() % 7]) { // Qt counts Monday 1 .. Sunday 7
        LogEvent(EventLog::Information, 1002,
                 QStringLiteral("Mail is not scheduled to be downloaded on ") +
                     QLocale::system().dayName(today.dayOfWeek(), QLocale::LongFormat));
        return reschedule();
    }
    if (settings_.multitask && !setup_.queryMode) {
        queueSessions();
        LogEvent(EventLog::Success, 1001,
                 QStringLiteral("All POP servers were cued for message retrieval and delivery"));
        return reschedule();
    }
    runSequential(0);
}

void CtrlFrm::runSequential(int index) {
    if (stopping_ || !accountAt(config_, index)) {
        if (!stopping_)
            LogEvent(EventLog::Success, 1001, QStringLiteral("Finished mail query"));
        reschedule();
        checkStopped();
        return;
    }
    if (!sequential_)
        sequential_ = std::make_unique<SlotWorker>(clock_);
    serve(*sequential_, settings_, config_.Accounts[index],
          [this, index] { runSequential(index + 1); });
}

void CtrlFrm::serve(SlotWorker& worker, const ServiceSettings& settings,
                    const AccountRecord& account, const std::function<void()>& then) {
    const auto finished = [this, &worker, account, then, level = settings.logLevel](bool ok) {
        // A session cut short by the stop has said so itself.
        if (!ok && !stopping_)
            LogEvent(EventLog::Warning, 8000,
                     QStringLiteral("Lost connection/Timed out to: ") + account.MailServer +
                         QStringLiteral(", This can be the result of remote server down time or "
                                        "and invalid username, password or mail settings"));
        else if (ok && level == LogLevel::High)
            LogEvent(EventLog::Information, 1000,
                     QStringLiteral("Mail Retrieval and Delivery was successful on ") +
                         account.MailServer + QStringLiteral(" (") +
                         (worker.popEncryption().isEmpty() ? QStringLiteral("unencrypted")
                                                           : worker.popEncryption()) +
                         QLatin1Char(')'));
        then();
    };
    connect(&worker, &SlotWorker::finished, this, finished, Qt::SingleShotConnection);
    (void)worker.run(settings, [retrieve = setup_.retrieve, account](SessionSlot& slot) {
        return retrieve(slot, account);
    });
}

void CtrlFrm::queueSessions() {
    for (int i = 0; accountAt(config_, i); ++i) {
        auto [at, added] = chkMailTmr2.try_emplace(i);
        QTimer& timer = at->second;
        if (added)
            connect(&timer, &QTimer::timeout, this, [this, i] { SessionTick(i); });
        if (!timer.isActive() && !sessions_.count(i))
            timer.start(clock_.secondMs());
    }
}

void CtrlFrm::SessionTick(int index) {
    Configuration config;
    if (!load(config))
        return; // the tick repeats a second later
    chkMailTmr2.at(index).stop();
    if (!accountAt(config, index)) {
        chkMailTmr2.erase(index);
        return;
    }
    auto& worker = sessions_[index];
    worker = std::make_unique<SlotWorker>(clock_);
    serve(*worker, ReadServiceSettings(config.Settings), config.Accounts[index],
          [this, index] { endSession(index); });
}

void CtrlFrm::endSession(int index) {
    // The worker emitted the signal that brought us here: let it finish first.
    if (auto found = sessions_.find(index); found != sessions_.end()) {
        found->second.release()->deleteLater();
        sessions_.erase(found);
    }
    chkMailTmr2.erase(index);
    checkStopped();
}

void CtrlFrm::reschedule() {
    clock_.set(0);
    // 32-bit, so that intervals above 546 minutes work; 0 or less is due at every tick.
    nextQueryTime_ = qMax(0, qint32(config_.Settings.CheckInterval) * 60);
    cycleRunning_ = false;
    if (setup_.queryMode)
        emit queryFinished();
}
