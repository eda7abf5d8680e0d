// The program's ASIO host component, behind an interface of its own so that
// the window units need not see the host's declarations.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AsioRoad.h"

class TASIOHostPlatform;

class TAsioHostComponent : public TAsioRoadHost {
 public:
  using TBufferSwitch = std::function<void(const TAVDArrayOfDoubleDynArray& InBuffer,
                                           TAVDArrayOfDoubleDynArray& OutBuffer)>;

  // Creates the host on the user-interface thread: it lists the installed
  // drivers once and creates its hidden window there. No driver is opened.
  // (Windows only.)
  static std::unique_ptr<TAsioHostComponent> Create();
  // The same over the seams of a given platform, whose owner thread is the
  // user-interface thread.
  static std::unique_ptr<TAsioHostComponent> Create(std::unique_ptr<TASIOHostPlatform> Platform);
  virtual ~TAsioHostComponent() = default;

  // The 64-bit buffer-switch event (driver's thread); empty to remove it.
  virtual void SetOnBufferSwitch64(TBufferSwitch Handler) = 0;

  // The settings window's part: the installed drivers (UTF-8), the choice
  // of one (-1: none; a driver that cannot be opened leaves none open), its
  // own settings window.
  virtual std::vector<std::string> DriverList() = 0;
  virtual void SetDriverIndex(std::int32_t Index) = 0;
  virtual void ControlPanel() = 0;
};
