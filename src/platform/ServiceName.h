#pragma once

// The service's one name: its systemd unit (Pop3_QVL.service) and the journal identifier
// of its entries.

inline constexpr char ServiceName[] = "Pop3_QVL";
