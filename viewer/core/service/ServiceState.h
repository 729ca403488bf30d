// The service states the viewer tells apart, as the service control's query answers them.
#pragma once

namespace tarvell {

inline constexpr int kServiceRunning = 1;
inline constexpr int kServiceStopped = 0;
inline constexpr int kServiceUnreachable = -1;

}  // namespace tarvell
