// CPluginHost: plays the browser for the player library. It loads the
// library, checks and exchanges the function tables, makes one instance per
// movie with its page parameters and its own window, streams the movie's
// bytes as the library asks for them, resizes and prints, and records what
// the library asks of the browser (get-URL requests, the status line).
//
// The instance, window and stream records stay at one address from
// NPP_New until after NPP_Destroy. After any error from the library the
// host stops using it.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/wnd.h"
#include "plugin/npapi.h"

// One <embed> of a page, or the movie given on the command line.
struct HostMovie {
  std::vector<uint8_t> bytes;
  std::string url;  // the stream's URL (the base of relative requests)
  std::vector<std::pair<std::string, std::string>> params;
  int width = 550;
  int height = 400;
};

struct HostOptions {
  bool full_page = false;       // NP_FULL instances (page parameters are not passed)
  uint32_t chunk = 65536;       // most bytes per write
  uint32_t bytes_per_tick = 0;  // most bytes per tick of all writes (0: no limit)
};

// Reads the <embed> elements of a page: src, width, height and the other
// attributes as parameters. Relative sources are resolved against `dir`.
// Movies that cannot be read are skipped; `error` names the first one.
std::vector<HostMovie> ReadEmbedPage(const std::string& page, const std::string& dir,
                                     std::string& error);

class CPluginHost {
 public:
  struct Instance {
    NPP_t npp{};
    NPWindow window{};
    NPStream stream{};
    std::string url;
    std::vector<uint8_t> bytes;
    size_t sent = 0;
    bool stream_open = false;
    bool stream_ended = false;
    int stalls = 0;  // writes in a row that took nothing
    std::unique_ptr<CWnd> wnd;
  };

  CPluginHost();
  ~CPluginHost();
  CPluginHost(const CPluginHost&) = delete;
  CPluginHost& operator=(const CPluginHost&) = delete;

  // Loads the library and exchanges the tables; false with a message.
  bool Load(const std::string& path, std::string& error);
  bool Failed() const { return m_failed; }
  const std::string& Error() const { return m_error; }
  const char* MimeDescription() const;

  // A new instance in its own child window of `parent` at (x, y): NPP_New,
  // the window shown, NPP_SetWindow, NPP_NewStream. Null after an error.
  Instance* AddInstance(const HostMovie& movie, const HostOptions& options, CWnd* parent, int x,
                        int y);
  // Moves and resizes an instance's window and tells the library.
  void Resize(Instance& instance, int x, int y, int width, int height);
  // One tick of streaming: each open stream gets what the library is ready
  // for (0: try again next tick), at most the chunk size. A negative count
  // or repeated zero progress ends a stream; the last byte ends it done.
  void Pump(const HostOptions& options);
  bool AllStreamsEnded() const;
  // Navigations the library asked for are done here, never inside its call:
  // they are only recorded (there is no page to leave).
  void RunPosted();

  // Prints the instance into an image, 24-bit or 1-bit, whose whole area is
  // the print area: the window's size, or width x height when given.
  QImage Print(Instance& instance, bool mono, int width = 0, int height = 0);

  std::vector<std::unique_ptr<Instance>>& Instances() { return m_instances; }
  // What the library asked of the browser.
  std::vector<std::pair<std::string, std::string>> urls;  // address, target
  std::vector<std::pair<std::string, std::string>> navigations;
  std::vector<std::string> statuses;

  // Destroys every instance (NPP_Destroy, then its window).
  void DestroyInstances();
  // Destroys every instance and shuts the library down.
  void Close();

 private:
  bool Check(NPError result, const char* what);
  void EndStream(Instance& instance, NPReason reason);
  void SetWindow(Instance& instance);

  void* m_library = nullptr;
  NP_GetEntryPointsFunc m_getEntryPoints = nullptr;
  NP_InitializeFunc m_initialize = nullptr;
  NP_ShutdownFunc m_shutdown = nullptr;
  NP_GetMIMEDescriptionFunc m_mimeDescription = nullptr;
  NPPluginFuncs m_funcs{};
  NPNetscapeFuncs m_browser{};
  bool m_initialized = false;
  bool m_failed = false;
  std::string m_error;
  std::vector<std::unique_ptr<Instance>> m_instances;
  std::vector<std::pair<std::string, std::string>> m_posted;
};

// Saves an image as a one-page PDF at its own size (72 pixels per inch).
bool SaveImageAsPdf(const QImage& image, const std::string& path);
