// The Win32 seams of the ASIO host: the registry scan, COM creation of the
// driver, the hidden window whose handle the driver's Init receives and whose
// messages carry the driver's requests to the user-interface thread, and the
// "Error" box.
#pragma once

#include <memory>

#include "asio/DASIOHost.h"

// Call on the user-interface thread (it owns the hidden window).
std::unique_ptr<TASIOHostPlatform> CreateWin32ASIOHostPlatform();
