// CPluginPlayer: the player of one plug-in instance.
//
// It plays the movie of the instance's stream in the window the browser
// gives it, through the shared player core: this class adds the browser's
// face (page parameters, the stream with its speed limit, relative URLs,
// the status line, printing) and reaches the window through the platform
// layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "movie/player/player_core.h"
#include "plugin/npapi.h"

class IPluginWindow;

class CPluginPlayer : private IPlayerSite {
 public:
  CPluginPlayer(NPP instance, uint16_t mode);
  ~CPluginPlayer() override;
  CPluginPlayer(const CPluginPlayer&) = delete;
  CPluginPlayer& operator=(const CPluginPlayer&) = delete;

  // The live players of the process, newest first.
  static CPluginPlayer* First() { return s_first; }
  CPluginPlayer* Next() const { return m_next; }
  static bool IsLive(const CPluginPlayer* player);

  // Page parameters (names and keywords without regard to case; a later
  // parameter overrides an earlier one; unknown ones are ignored).
  void ReadParameters(int16_t argc, char* const argn[], char* const argv[]);

  // The browser's window record (or none): frees the bitmap, keeps the
  // record and attaches its native window.
  void SetWindow(NPWindow* window);
  bool HasAttachedWindow() const { return m_attached; }

  // ---- Stream intake ----
  bool HasStream() const { return m_stream != nullptr; }
  NPStream* Stream() const { return m_stream; }
  // Accepts the instance's one stream; resets the movie.
  void AcceptStream(NPStream* stream);
  int32_t WriteReady() const;
  // Appends bytes and runs the loading rule.
  void Write(const void* data, int32_t length);

  // Prints the current frame into an embedded print record.
  void Print(const NPPrint& print);

  CPlayerCore& Core() { return m_core; }
  uint16_t Mode() const { return m_mode; }
  NPP Instance() const { return m_instance; }
  uint32_t SpeedLimit() const { return m_speedLimit; }
  const std::string& BaseUrl() const { return m_baseUrl; }

  // Every live player's bitmap is dropped and its window repainted, and the
  // shared colour table released (the system palette changed or the
  // library shuts down).
  static void ResetPlayerPalettes();

 private:
  // IPlayerSite
  bool HasWindow() override;
  WinRect ClientRect() override;
  void Invalidate(const WinRect& area) override;
  void PaintNow(const WinRect& area) override;
  bool XorFrameNow(const WinRect& frame) override;
  void StartTimer(int id, uint32_t periodMs) override;
  void StopTimer(int id) override;
  uint32_t TimeMs() override;
  bool PollMouse(Point32& client) override;
  void GetUrl(const std::string& url, const std::string& target) override;
  void ShowStatus(const std::string& text) override;

  void AttachWindow(void* handle);

  static CPluginPlayer* s_first;
  CPluginPlayer* m_next = nullptr;
  NPP m_instance;
  uint16_t m_mode;
  std::string m_baseUrl;
  bool m_hasBase = false;
  NPStream* m_stream = nullptr;
  uint32_t m_arrival = 0;
  uint32_t m_speedLimit = 0;
  uint64_t m_received = 0;
  NPWindow* m_record = nullptr;
  bool m_attached = false;
  std::unique_ptr<IPluginWindow> m_window;
  CPlayerCore m_core;
};

// The browser's function table kept by NP_Initialize (or none).
const NPNetscapeFuncs* PluginBrowserFuncs();

// The multimedia clock of the library: monotonic milliseconds masked to 31
// bits. Tests replace the clock (null restores the steady clock).
uint32_t PluginTimeMs();
void SetPluginClock(uint32_t (*clock)());
