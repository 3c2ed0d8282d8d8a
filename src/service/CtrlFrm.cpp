#include "CtrlFrm.h"

#include "EventLog.h"
#include "FileMod.h"
#include "ReadRules.h"
#include "UpdateCheck.h"
#include "WebRoutines.h"

#include <QDir>
#include <QLocale>

#include <cstdlib>
#include <new>

namespace {

bool isTrueText(const QString& text) {
    return ReadRules::BooleanText(text).value_or(false);
}

double logLevel(const ConfigSettings& settings) {
    return ReadRules::LeadingNumber(settings.LogMode);
}

} // namespace

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
    for (auto& [index, timer] : chkMailTmr2)
        timer->stop();
    if (sequential_)
        sequential_->requestStop();
    for (auto& [index, worker] : sessions_)
        worker->requestStop();
    checkStopped();
}

void CtrlFrm::checkStopped() {
    const bool sequentialIdle = !sequential_ || !sequential_->busy();
    bool sessionsIdle = true;
    for (const auto& [index, worker] : sessions_)
        sessionsIdle = sessionsIdle && !worker->busy();
    if (stopping_ && sequentialIdle && sessionsIdle)
        emit stopped();
}

bool CtrlFrm::accountAt(const Configuration& config, int index) const {
    return index < AccountSlots &&
           !ReadRules::TrimSpaces(config.Accounts[index].AccountName).isEmpty();
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
    try {
        if (!preChecks()) {
            reschedule();
            return;
        }
        if (isTrueText(config_.Settings.MultitaskMode) && !setup_.queryMode) {
            queueSessions();
            LogEvent(
                EventLog::Success, 1001,
                QStringLiteral("All POP servers were cued for message retrieval and delivery"));
            reschedule();
            return;
        }
        runSequential(0);
    } catch (const std::bad_alloc&) {
        cycleError(7); // out of memory
    } catch (const std::exception&) {
        cycleError(5);
    }
}

void CtrlFrm::cycleError(int number) {
    LogEvent(EventLog::Error, 5000, QStringLiteral("ChkMail Error Number: %1").arg(number));
    reschedule();
}

qint16 CtrlFrm::currentInterval() const {
    // A quiet look at the file, so that an interval the console shortened counts now,
    // not only after the wait the old one set.
    Configuration latest;
    if (FileMod::LoadData(latest, setup_.dataFile, FileMod::KeyPolicy::FailSilently))
        return latest.Settings.CheckInterval;
    return config_.Settings.CheckInterval;
}

bool CtrlFrm::preChecks() {
    if (!FileMod::LoadData(config_, setup_.dataFile, FileMod::KeyPolicy::ReportAndFail)) {
        config_.Settings.CheckInterval = 5;
        return false;
    }
    const ConfigSettings& s = config_.Settings;
    if (s.NoInternetCheck == u"0" && !WebRoutines::InternetConnected()) {
        LogEvent(EventLog::Error, 8010,
                 QStringLiteral("Internet Connection was not detected, retrying at next mail "
                                "retrieval cycle.  Note: Be sure you have 'Work Offline' "
                                "unchecked in Internet Explorer"));
        return false;
    }
    CheckForNewVersion();
    if (s.SmtpServer.isEmpty() || s.SmtpPort.isEmpty() || s.LocalDomain.isEmpty()) {
        LogEvent(EventLog::Error, 8897,
                 QStringLiteral("No SMTP Server defined.  Run QVL POP3 Management Console"));
        return false;
    }
    const QDate today = setup_.today();
    if (s.NoMailDays[today.dayOfWeek() % 7]) { // Qt counts Monday 1 .. Sunday 7
        LogEvent(EventLog::Information, 1002,
                 QStringLiteral("Mail is not scheduled to be downloaded on ") +
                     QLocale::system().dayName(today.dayOfWeek(), QLocale::LongFormat));
        return false;
    }
    return true;
}

void CtrlFrm::CheckForNewVersion() {
    const QDate today = setup_.today();
    if (LastUpdateCheck == today)
        return;
    const auto text = UpdateCheck::FetchVersionText(
        QDir(setup_.stateFolder).filePath(QStringLiteral("Revision.dat")));
    if (!text)
        return;
    if (UpdateCheck::IsNewerVersion(*text))
        LogEvent(EventLog::Information, 9900,
                 QStringLiteral("There is a new version (") + *text +
                     QStringLiteral(") of this service available.  Goto ") +
                     UpdateCheck::DownloadPageUrl());
    LastUpdateCheck = today;
}

void CtrlFrm::runSequential(int index) {
    if (stopping_ || !accountAt(config_, index)) {
        if (!stopping_)
            LogEvent(EventLog::Success, 1001, QStringLiteral("Finished mail query"));
        reschedule();
        checkStopped();
        return;
    }
    if (!sequential_) {
        sequential_ = std::make_unique<SlotWorker>(clock_);
        connect(sequential_.get(), &SlotWorker::finished, this, [this](bool ok) {
            if (ok)
                logSuccess(config_.Settings, config_.Accounts[sequentialIndex_],
                           sequential_->popEncryption());
            runSequential(sequentialIndex_ + 1);
        });
    }
    sequentialIndex_ = index;
    const AccountRecord account = config_.Accounts[index];
    const Retrieve retrieve = setup_.retrieve;
    (void)sequential_->run(config_.Settings, [retrieve, account](SessionSlot& slot) {
        return retrieve(slot, account);
    });
}

void CtrlFrm::queueSessions() {
    for (int i = 0; accountAt(config_, i); ++i) {
        auto& timer = chkMailTmr2[i];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setInterval(clock_.secondMs());
            connect(timer.get(), &QTimer::timeout, this, [this, i] { SessionTick(i); });
        }
        if (!timer->isActive() && !sessions_.count(i))
            timer->start();
    }
}

void CtrlFrm::SessionTick(int index) {
    Configuration config;
    if (!FileMod::LoadData(config, setup_.dataFile, FileMod::KeyPolicy::ReportAndFail))
        return; // the tick repeats a second later
    chkMailTmr2[index]->stop();
    if (!accountAt(config, index)) {
        chkMailTmr2.erase(index);
        return;
    }
    auto& worker = sessions_[index];
    worker = std::make_unique<SlotWorker>(clock_);
    const AccountRecord account = config.Accounts[index];
    const ConfigSettings settings = config.Settings;
    connect(worker.get(), &SlotWorker::finished, this, [this, index, account, settings](bool ok) {
        if (!ok)
            LogEvent(EventLog::Warning, 8000,
                     QStringLiteral("Lost connection/Timed out to: ") + account.MailServer +
                         QStringLiteral(", This can be the result of remote server down time or "
                                        "and invalid username, password or mail settings"));
        else
            logSuccess(settings, account, sessions_.at(index)->popEncryption());
        endSession(index);
    });
    const Retrieve retrieve = setup_.retrieve;
    (void)worker->run(settings,
                      [retrieve, account](SessionSlot& slot) { return retrieve(slot, account); });
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

void CtrlFrm::logSuccess(const ConfigSettings& settings, const AccountRecord& account,
                         const QString& encryption) {
    if (logLevel(settings) == 3)
        LogEvent(EventLog::Information, 1000,
                 QStringLiteral("Mail Retrieval and Delivery was successful on ") +
                     account.MailServer + QStringLiteral(" (") +
                     (encryption.isEmpty() ? QStringLiteral("unencrypted") : encryption) +
                     QLatin1Char(')'));
}

void CtrlFrm::reschedule() {
    clock_.set(0);
    // 32-bit, so that intervals above 546 minutes work; 0 or less is due at every tick.
    nextQueryTime_ = qMax(0, qint32(config_.Settings.CheckInterval) * 60);
    cycleRunning_ = false;
    if (setup_.queryMode)
        emit queryFinished();
}
