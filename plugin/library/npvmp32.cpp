// libNPVMP32.so: the exports come from np_entry.cpp; loading the library
// installs its window side, printer, menus and cursors over the platform
// layer the host shares with it.
#include "plugin/qt/plugin_platform.h"

namespace {

[[maybe_unused]] const bool kPlatformInstalled = [] {
  InstallPluginPlatform();
  return true;
}();

}  // namespace
