#include "FakeServiceDirectory.h"

void FakeServiceDirectory::setService(const QString& name, int status) {
    if (!names_.contains(name))
        names_.append(name);
    status_.insert(name, status);
}

void FakeServiceDirectory::removeService(const QString& name) {
    names_.removeAll(name);
    status_.remove(name);
}

QStringList FakeServiceDirectory::serviceNames() {
    ++listCalls_;
    return names_;
}

int FakeServiceDirectory::serviceStatus(const QString& name) {
    return status_.value(name, 0);
}
