#pragma once

// The small window shown while the console waits for the service, a program or a server:
// on top, centred, "Please Wait..." beside a looping search animation, and a Cancel button
// (Escape too) that rejects it. Modal, so nothing else starts meanwhile, but the windows
// behind it go on painting.

#include <QDialog>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>
#include <optional>

class frmWaitAni : public QDialog {
    Q_OBJECT

public:
    static constexpr int FrameCount = 12;

    // Shows itself at once over `owner`; deletes itself once closed.
    explicit frmWaitAni(QWidget* owner);

    [[nodiscard]] int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer frameTimer_;
    int frame_ = 0;
};

// Runs `work` on a thread of its own while a wait window shows over `owner`, then hands
// its result to `done` on this thread, or nullopt when the user cancelled; not at all once
// `owner` is gone. Cancelling closes the window at once and ends the event loops of the
// work's thread, so a download or a program it waits for stops; work that cannot stop runs
// on, and `done` is called when it ends.
template <typename Work, typename Done> void RunWaiting(QWidget* owner, Work work, Done done) {
    using Result = decltype(work());
    auto result = std::make_shared<std::optional<Result>>();
    auto cancelled = std::make_shared<bool>(false);
    QThread* thread = QThread::create([work = std::move(work), result] { *result = work(); });
    QPointer<frmWaitAni> wait = new frmWaitAni(owner);
    QObject::connect(wait, &QDialog::rejected, thread, [thread, cancelled] {
        *cancelled = true;
        thread->quit();
    });
    QObject::connect(thread, &QThread::finished, owner,
                     [wait, result, cancelled, done = std::move(done)] {
                         if (wait && !*cancelled)
                             wait->accept();
                         done(*cancelled ? std::nullopt : *result);
                     });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}
