#pragma once

// The small window shown while the console waits for the service or a server: always on
// top, centred, "Please Wait..." beside a looping search animation. Shown while it lives.

#include <QTimer>
#include <QWidget>

class frmWaitAni : public QWidget {
    Q_OBJECT

public:
    static constexpr int FrameCount = 12;

    frmWaitAni();

    [[nodiscard]] int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer frameTimer_;
    int frame_ = 0;
};
