// The demo device's run: announcements every second, one control connection
// at a time, the video while a client is logged in. Everything runs on the
// calling (main) thread in one poll loop; only the video uses other threads.
#pragma once

#include "tools/vantrel-device/device_options.h"

namespace device {

// Runs until `stop_fd` becomes readable (a stop signal), the lifetime is over
// or, with `once`, the first connection has ended. `options.pin` must be set.
// Returns the process exit status.
int RunDevice(const DeviceOptions& options, int stop_fd);

}  // namespace device
