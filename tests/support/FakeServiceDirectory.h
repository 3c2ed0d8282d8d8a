#pragma once

// A service directory whose services the test sets; counts how often it is asked and
// records every start and stop.

#include "ServiceDirectory.h"

#include <QHash>

#include <functional>

class FakeServiceDirectory : public ServiceDirectory {
public:
    void setService(const QString& name, int status);
    void removeService(const QString& name);
    // From now on starts and stops time out (false) or succeed (true, the default).
    void setAnswering(bool answering) { answering_ = answering; }

    [[nodiscard]] QStringList serviceNames() override;
    [[nodiscard]] int serviceStatus(const QString& name) override;
    // An answered start leaves the service running, an answered stop stopped.
    [[nodiscard]] bool startService(const QString& name) override;
    [[nodiscard]] bool stopService(const QString& name) override;

    [[nodiscard]] int listCalls() const { return listCalls_; }
    // "start <name>" or "stop <name>", in order.
    [[nodiscard]] QStringList controls() const { return controls_; }

    // Runs inside every start and stop, as the service manager would take its time.
    std::function<void()> duringControl;

private:
    [[nodiscard]] bool control(const QString& verb, const QString& name, int status);

    QStringList names_;
    QHash<QString, int> status_;
    int listCalls_ = 0;
    bool answering_ = true;
    QStringList controls_;
};
