// Device discovery settings of the client window (the handlers are methods of
// TVantrelForm, in DeviceDiscovery.cpp). GUI thread only.
#pragma once

#include <cstdint>

namespace vantrel {

// The UDP port the window listens on for announcements: 51033. Tests that do
// not exercise discovery set 0 (a free port) before creating a window.
extern std::uint16_t AnnouncementPort;

}  // namespace vantrel
