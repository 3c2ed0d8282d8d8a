#pragma once

// The console's numbered texts. Windows look their captions up here as they load.

#include <QString>

// The text of entry `id`. Asking for a number the table does not hold is a programming
// error: it asserts in debug builds and gives an empty text otherwise.
[[nodiscard]] QString LoadResString(int id);
