#pragma once

// Warnings that are written once per account while the service runs.

#include "ConfigModel.h"

// True the first time this process asks about topic for account (its server and user
// name). Sessions on several slots may ask at once.
[[nodiscard]] bool FirstTimeFor(const char* topic, const AccountRecord& account);
