#pragma once

// The length of the programs' second: every time-out, interval and tick is counted in it.

// Milliseconds: HOLLIMERE_SECOND_MS when it is a positive number (tests shorten the
// second), else 1000.
[[nodiscard]] int SecondLengthMs();
