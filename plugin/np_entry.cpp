// The library's face towards the browser: the exports, the table of
// callbacks, and the calls back into the browser. No exception crosses this
// interface: every callback catches and answers with an error.
#include <cstring>
#include <new>

#include "plugin/npapi.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"

namespace {

const NPNetscapeFuncs* g_browser = nullptr;

CPluginPlayer* PlayerOf(NPP instance) {
  if (!instance) return nullptr;
  auto* player = static_cast<CPluginPlayer*>(instance->pdata);
  return CPluginPlayer::IsLive(player) ? player : nullptr;
}

template <typename Result, typename Body>
Result Guarded(Result failure, Body body) {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

NPError NewInstance(NPMIMEType, NPP instance, uint16_t mode, int16_t argc, char* argn[],
                    char* argv[], NPSavedData*) {
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  return Guarded<NPError>(NPERR_OUT_OF_MEMORY_ERROR, [&] {
    auto* player = new (std::nothrow) CPluginPlayer(instance, mode);
    if (!player) return NPERR_OUT_OF_MEMORY_ERROR;
    instance->pdata = player;
    if (mode == NP_EMBED && argc > 0) player->ReadParameters(argc, argn, argv);
    return NPERR_NO_ERROR;
  });
}

NPError DestroyInstance(NPP instance, NPSavedData**) {
  return Guarded<NPError>(NPERR_NO_ERROR, [&] {
    if (CPluginPlayer* player = PlayerOf(instance)) {
      instance->pdata = nullptr;
      delete player;
    }
    return NPERR_NO_ERROR;
  });
}

NPError SetWindow(NPP instance, NPWindow* window) {
  if (!window) return NPERR_GENERIC_ERROR;
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  return Guarded<NPError>(NPERR_GENERIC_ERROR, [&] {
    CPluginPlayer* player = PlayerOf(instance);
    if (!player) return NPERR_GENERIC_ERROR;
    if (!window->window && !player->HasAttachedWindow()) return NPERR_NO_ERROR;
    player->SetWindow(window);
    return NPERR_NO_ERROR;
  });
}

NPError NewStream(NPP instance, NPMIMEType, NPStream* stream, NPBool, uint16_t* stype) {
  CPluginPlayer* player = PlayerOf(instance);
  if (!player) return NPERR_INVALID_INSTANCE_ERROR;
  if (player->HasStream() || !stream) return NPERR_GENERIC_ERROR;
  return Guarded<NPError>(NPERR_GENERIC_ERROR, [&] {
    player->AcceptStream(stream);
    stream->pdata = player;
    if (stype) *stype = NP_NORMAL;
    return NPERR_NO_ERROR;
  });
}

NPError DestroyStream(NPP instance, NPStream*, NPError) {
  return instance ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

void StreamAsFile(NPP, NPStream*, const char*) {}

int32_t WriteReady(NPP instance, NPStream*) {
  return Guarded<int32_t>(0, [&] {
    CPluginPlayer* player = PlayerOf(instance);
    return player ? player->WriteReady() : 0x0FFFFFFF;
  });
}

int32_t Write(NPP instance, NPStream* stream, int32_t, int32_t len, void* buffer) {
  // A negative count tells the browser the stream failed.
  if (!instance) return -1;
  CPluginPlayer* player = PlayerOf(instance);
  if (!player || !stream || stream != player->Stream()) return 0;
  return Guarded<int32_t>(-1, [&] {
    player->Write(buffer, len);
    return len;
  });
}

void Print(NPP instance, NPPrint* print) {
  if (!print || !instance) return;
  Guarded<int>(0, [&] {
    CPluginPlayer* player = PlayerOf(instance);
    if (print->mode == NP_FULL) {
      print->print.fullPrint.pluginPrinted = 0;  // the browser prints the page
    } else if (player) {
      player->Print(*print);
    }
    return 0;
  });
}

}  // namespace

const NPNetscapeFuncs* PluginBrowserFuncs() {
  return g_browser;
}

extern "C" {

NPError NP_GetEntryPoints(NPPluginFuncs* funcs) {
  if (!funcs || funcs->size < kNPPluginFuncsMinSize) return NPERR_INVALID_FUNCTABLE_ERROR;
  funcs->version = kNPPluginTableVersion;
  funcs->newp = NewInstance;
  funcs->destroy = DestroyInstance;
  funcs->setwindow = SetWindow;
  funcs->newstream = NewStream;
  funcs->destroystream = DestroyStream;
  funcs->asfile = StreamAsFile;
  funcs->writeready = WriteReady;
  funcs->write = Write;
  funcs->print = Print;
  funcs->event = nullptr;
  return NPERR_NO_ERROR;
}

NPError NP_Initialize(NPNetscapeFuncs* browser) {
  if (!browser) return NPERR_INVALID_FUNCTABLE_ERROR;
  if ((browser->version >> 8) != kNPMajorVersion) return NPERR_INCOMPATIBLE_VERSION_ERROR;
  if (browser->size < kNPNetscapeFuncsMinSize) return NPERR_INVALID_FUNCTABLE_ERROR;
  // Kept only once it passed both tests: a refused table is never called.
  g_browser = browser;
  return NPERR_NO_ERROR;
}

NPError NP_Shutdown() {
  Guarded<int>(0, [] {
    CPluginPlayer::ResetPlayerPalettes();
    return 0;
  });
  g_browser = nullptr;
  return NPERR_NO_ERROR;
}

const char* NP_GetMIMEDescription() {
  return "application/vimbrel:vmp:Vimbrel (*.vmp)";
}

}  // extern "C"
