// The browser plug-in interface as the player library and its host use it:
// instance and stream records, the window and print records, the two
// function tables and the four exports. Written for this project; shared by
// the library and the host so that both agree on every layout.
//
// A window record's `window` holds a platform-layer window handle, and an
// embedded print record's `platformPrint` a platform-layer device context.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int16_t NPError;
typedef uint8_t NPBool;
typedef char* NPMIMEType;

enum : NPError {
  NPERR_NO_ERROR = 0,
  NPERR_GENERIC_ERROR = 1,
  NPERR_INVALID_INSTANCE_ERROR = 2,
  NPERR_INVALID_FUNCTABLE_ERROR = 3,
  NPERR_MODULE_LOAD_FAILED_ERROR = 4,
  NPERR_OUT_OF_MEMORY_ERROR = 5,
  NPERR_INVALID_PLUGIN_ERROR = 6,
  NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
  NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
};

// Why a stream ended.
typedef int16_t NPReason;
enum : NPReason { NPRES_DONE = 0, NPRES_NETWORK_ERR = 1, NPRES_USER_BREAK = 2 };

// Instance modes.
enum : uint16_t { NP_EMBED = 1, NP_FULL = 2 };
// Stream types.
enum : uint16_t { NP_NORMAL = 1, NP_SEEK = 2, NP_ASFILE = 3, NP_ASFILEONLY = 4 };

// The version the plug-in's table reports, and the major version (high
// byte) a browser's table must have.
constexpr uint16_t kNPPluginTableVersion = 6;
constexpr uint16_t kNPMajorVersion = 0;

struct NPP_t {
  void* pdata;  // the plug-in's data (its player)
  void* ndata;  // the browser's data
};
typedef NPP_t* NPP;

struct NPStream {
  void* pdata;  // the plug-in's data
  void* ndata;  // the browser's data
  const char* url;
  uint32_t end;  // length in bytes, 0 when unknown
  uint32_t lastmodified;
  void* notifyData;
};

struct NPSavedData {
  int32_t len;
  void* buf;
};

struct NPRect {
  uint16_t top, left, bottom, right;
};

struct NPWindow {
  void* window;  // platform-layer window handle, or null
  int32_t x, y;
  uint32_t width, height;
  NPRect clipRect;
  int32_t type;
};

struct NPFullPrint {
  NPBool pluginPrinted;  // the plug-in printed the page (else the browser does)
  NPBool printOne;
  void* platformPrint;
};

struct NPEmbedPrint {
  NPWindow window;      // the print area on the printer
  void* platformPrint;  // the printer's device context
};

struct NPPrint {
  uint16_t mode;  // NP_FULL or NP_EMBED
  union {
    NPFullPrint fullPrint;
    NPEmbedPrint embedPrint;
  } print;
};

typedef NPError (*NPP_NewProcPtr)(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc,
                                  char* argn[], char* argv[], NPSavedData* saved);
typedef NPError (*NPP_DestroyProcPtr)(NPP instance, NPSavedData** save);
typedef NPError (*NPP_SetWindowProcPtr)(NPP instance, NPWindow* window);
typedef NPError (*NPP_NewStreamProcPtr)(NPP instance, NPMIMEType type, NPStream* stream,
                                        NPBool seekable, uint16_t* stype);
typedef NPError (*NPP_DestroyStreamProcPtr)(NPP instance, NPStream* stream, NPError reason);
typedef void (*NPP_StreamAsFileProcPtr)(NPP instance, NPStream* stream, const char* fname);
typedef int32_t (*NPP_WriteReadyProcPtr)(NPP instance, NPStream* stream);
typedef int32_t (*NPP_WriteProcPtr)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                    void* buffer);
typedef void (*NPP_PrintProcPtr)(NPP instance, NPPrint* platformPrint);
typedef int16_t (*NPP_HandleEventProcPtr)(NPP instance, void* event);

// The plug-in's table: size, version, then ten callbacks.
struct NPPluginFuncs {
  uint16_t size;
  uint16_t version;
  NPP_NewProcPtr newp;
  NPP_DestroyProcPtr destroy;
  NPP_SetWindowProcPtr setwindow;
  NPP_NewStreamProcPtr newstream;
  NPP_DestroyStreamProcPtr destroystream;
  NPP_StreamAsFileProcPtr asfile;
  NPP_WriteReadyProcPtr writeready;
  NPP_WriteProcPtr write;
  NPP_PrintProcPtr print;
  NPP_HandleEventProcPtr event;
};

typedef NPError (*NPN_GetURLProcPtr)(NPP instance, const char* url, const char* window);
typedef NPError (*NPN_PostURLProcPtr)(NPP instance, const char* url, const char* window,
                                      uint32_t len, const char* buf, NPBool file);
typedef NPError (*NPN_RequestReadProcPtr)(NPStream* stream, void* rangeList);
typedef NPError (*NPN_NewStreamProcPtr)(NPP instance, NPMIMEType type, const char* window,
                                        NPStream** stream);
typedef int32_t (*NPN_WriteProcPtr)(NPP instance, NPStream* stream, int32_t len, void* buffer);
typedef NPError (*NPN_DestroyStreamProcPtr)(NPP instance, NPStream* stream, NPError reason);
typedef void (*NPN_StatusProcPtr)(NPP instance, const char* message);
typedef const char* (*NPN_UserAgentProcPtr)(NPP instance);
typedef void* (*NPN_MemAllocProcPtr)(uint32_t size);
typedef void (*NPN_MemFreeProcPtr)(void* ptr);
typedef uint32_t (*NPN_MemFlushProcPtr)(uint32_t size);
typedef void (*NPN_ReloadPluginsProcPtr)(NPBool reloadPages);

// The browser's table: size, version (major in the high byte), then twelve
// entries. The player uses geturl and status only.
struct NPNetscapeFuncs {
  uint16_t size;
  uint16_t version;
  NPN_GetURLProcPtr geturl;
  NPN_PostURLProcPtr posturl;
  NPN_RequestReadProcPtr requestread;
  NPN_NewStreamProcPtr newstream;
  NPN_WriteProcPtr write;
  NPN_DestroyStreamProcPtr destroystream;
  NPN_StatusProcPtr status;
  NPN_UserAgentProcPtr uagent;
  NPN_MemAllocProcPtr memalloc;
  NPN_MemFreeProcPtr memfree;
  NPN_MemFlushProcPtr memflush;
  NPN_ReloadPluginsProcPtr reloadplugins;
};

// The smallest tables the library accepts: a plug-in table must hold every
// callback the library writes, a browser table all twelve entries.
constexpr size_t kNPPluginFuncsMinSize = offsetof(NPPluginFuncs, event) + sizeof(void*);
constexpr size_t kNPNetscapeFuncsMinSize = offsetof(NPNetscapeFuncs, reloadplugins) + sizeof(void*);

// The library's exports.
typedef NPError (*NP_GetEntryPointsFunc)(NPPluginFuncs* pluginFuncs);
typedef NPError (*NP_InitializeFunc)(NPNetscapeFuncs* browserFuncs);
typedef NPError (*NP_ShutdownFunc)();
typedef const char* (*NP_GetMIMEDescriptionFunc)();

}  // extern "C"
