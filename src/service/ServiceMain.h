#pragma once

// The hollisvc program: switches, registration, and the service's life under systemd or
// by hand.

#include "CtrlFrm.h"

#include <QStringList>

// `arguments` as QCoreApplication::arguments() gives them; a QCoreApplication must
// exist. Returns the exit status.
int ServiceMain(const QStringList& arguments, CtrlFrm::Retrieve retrieve);
