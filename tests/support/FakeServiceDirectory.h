#pragma once

// A service directory whose services the test sets; counts how often it is asked.

#include "ServiceDirectory.h"

#include <QHash>

class FakeServiceDirectory : public ServiceDirectory {
public:
    void setService(const QString& name, int status);
    void removeService(const QString& name);

    [[nodiscard]] QStringList serviceNames() override;
    [[nodiscard]] int serviceStatus(const QString& name) override;

    [[nodiscard]] int listCalls() const { return listCalls_; }

private:
    QStringList names_;
    QHash<QString, int> status_;
    int listCalls_ = 0;
};
