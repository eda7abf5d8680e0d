#include "app/AsioRoadHost.h"
#include "asio/DASIOHost.h"
#include "asio/DASIOHostWin32.h"

std::unique_ptr<TAsioHostComponent> TAsioHostComponent::Create() { return Create(CreateWin32ASIOHostPlatform()); }
