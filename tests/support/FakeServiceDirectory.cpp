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

bool FakeServiceDirectory::startService(const QString& name) {
    return control(QStringLiteral("start"), name, 4);
}

bool FakeServiceDirectory::stopService(const QString& name) {
    return control(QStringLiteral("stop"), name, 1);
}

bool FakeServiceDirectory::control(const QString& verb, const QString& name, int status) {
    controls_.append(verb + u' ' + name);
    if (duringControl)
        duringControl();
    if (!answering_ || !names_.contains(name))
        return false;
    status_.insert(name, status);
    return true;
}
