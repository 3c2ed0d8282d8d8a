#include "SecondLength.h"

#include <QtGlobal>

int SecondLengthMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("HOLLIMERE_SECOND_MS", &ok);
    return ok && ms > 0 ? ms : 1000;
}
