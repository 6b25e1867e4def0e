// CPluginPlayer: page parameters, stream intake, URLs, status and printing
// of one plug-in instance over the shared player core.
#include "plugin/plugin_player.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string_view>

#include "plugin/player_palette.h"
#include "plugin/plugin_window.h"

CPluginPlayer* CPluginPlayer::s_first = nullptr;

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsOn(std::string_view value) {
  return SameText(value, "true") || SameText(value, "yes");
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;  // not a hexadecimal digit: counts as 0
}

}  // namespace

CPluginPlayer::CPluginPlayer(NPP instance, uint16_t mode)
    : m_instance(instance),
      m_mode(mode),
      m_core(*this, MovieReaderMode::kPlugin, PlayerOptions::Plugin()) {
  m_next = s_first;
  s_first = this;
}

CPluginPlayer::~CPluginPlayer() {
  m_core.Stop();
  for (CPluginPlayer** link = &s_first; *link; link = &(*link)->m_next) {
    if (*link == this) {
      *link = m_next;
      break;
    }
  }
  m_window.reset();  // gives the window its procedure back
  m_core.ResetMovie();
}

bool CPluginPlayer::IsLive(const CPluginPlayer* player) {
  for (const CPluginPlayer* p = s_first; p; p = p->m_next)
    if (p == player) return true;
  return false;
}

void CPluginPlayer::ReadParameters(int16_t argc, char* const argn[], char* const argv[]) {
  for (int i = 0; i < argc; ++i) {
    if (!argn || !argv || !argn[i] || !argv[i]) continue;
    const std::string_view name = argn[i], value = argv[i];
    if (SameText(name, "loop")) {
      m_core.loop = IsOn(value);
    } else if (SameText(name, "play")) {
      m_core.playOnLoad = IsOn(value);
    } else if (SameText(name, "bgcolor")) {
      std::string_view v = value;
      if (!v.empty() && v[0] == '#') v.remove_prefix(1);
      if (v.size() > 5) {
        uint32_t rgb = 0;
        for (int k = 0; k < 6; ++k) rgb = rgb << 4 | static_cast<uint32_t>(HexDigit(v[k]));
        const uint32_t colour =
            0xFF000000u | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
        m_core.Display().SetBackgroundColor(colour, 3);
      }
    } else if (SameText(name, "quality")) {
      if (SameText(value, "autohigh")) {
        m_core.highQuality = true, m_core.autoQuality = true;
      } else if (SameText(value, "autolow")) {
        m_core.highQuality = false, m_core.autoQuality = true;
      } else if (SameText(value, "high")) {
        m_core.highQuality = true, m_core.autoQuality = false;
      } else if (SameText(value, "low")) {
        m_core.highQuality = false, m_core.autoQuality = false;
      } else if (SameText(value, "best")) {
        m_core.best = true, m_core.highQuality = true, m_core.autoQuality = false;
      }
    } else if (SameText(name, "scale")) {
      if (SameText(value, "showall")) {
        m_core.scaleFlags = kScaleShowAll;
      } else if (SameText(value, "noborder")) {
        m_core.scaleFlags = kScaleNoBorder;
      } else if (SameText(value, "exactfit")) {
        m_core.scaleFlags = kScaleExactFit;
      }
    } else if (SameText(name, "salign")) {
      for (char c : value) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
          case 'l':
            m_core.scaleFlags |= kAlignLeft;
            break;
          case 't':
            m_core.scaleFlags |= kAlignTop;
            break;
          case 'r':
            m_core.scaleFlags |= kAlignRight;
            break;
          case 'b':
            m_core.scaleFlags |= kAlignBottom;
            break;
          default:
            break;
        }
      }
    } else if (SameText(name, "speedlimit")) {
      uint64_t limit = 0;
      for (char c : value) {
        if (c < '0' || c > '9') break;
        limit = std::min<uint64_t>(limit * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
      }
      m_speedLimit = static_cast<uint32_t>(limit);
    }
  }
}

// ---- Window ----------------------------------------------------------------------------

void CPluginPlayer::SetWindow(NPWindow* window) {
  m_core.FreeOffscreen();
  m_record = window;
  AttachWindow(window ? window->window : nullptr);
}

void CPluginPlayer::AttachWindow(void* handle) {
  m_core.WindowChanging();
  m_window.reset();
  m_attached = false;
  if (handle) {
    m_window = AttachPluginWindow(*this, handle);
    m_attached = m_window != nullptr;
  }
  m_core.WindowChanged();
}

bool CPluginPlayer::HasWindow() {
  return m_window != nullptr;
}

WinRect CPluginPlayer::ClientRect() {
  return m_window ? m_window->ClientRect() : WinRect{};
}

void CPluginPlayer::Invalidate(const WinRect& area) {
  if (m_window) m_window->Invalidate(area);
}

void CPluginPlayer::PaintNow(const WinRect& area) {
  if (m_window) m_window->PaintNow(area);
}

bool CPluginPlayer::XorFrameNow(const WinRect& frame) {
  return m_window && m_window->XorFrameNow(frame);
}

void CPluginPlayer::StartTimer(int id, uint32_t periodMs) {
  if (m_window) m_window->StartTimer(id, periodMs);
}

void CPluginPlayer::StopTimer(int id) {
  if (m_window) m_window->StopTimer(id);
}

uint32_t CPluginPlayer::TimeMs() {
  return PluginTimeMs();
}

bool CPluginPlayer::PollMouse(Point32& client) {
  return m_window && m_window->PollMouse(client);
}

// ---- Browser --------------------------------------------------------------------------

void CPluginPlayer::GetUrl(const std::string& url, const std::string& target) {
  const std::string resolved = ResolvePlayerUrl(m_baseUrl, m_hasBase, url);
  if (resolved.empty()) return;  // too long: dropped
  const NPNetscapeFuncs* browser = PluginBrowserFuncs();
  if (browser && browser->geturl) browser->geturl(m_instance, resolved.c_str(), target.c_str());
}

void CPluginPlayer::ShowStatus(const std::string& text) {
  const NPNetscapeFuncs* browser = PluginBrowserFuncs();
  if (browser && browser->status) browser->status(m_instance, text.c_str());
}

// ---- Stream ---------------------------------------------------------------------------

void CPluginPlayer::AcceptStream(NPStream* stream) {
  m_hasBase = stream->url != nullptr;
  m_baseUrl = m_hasBase ? stream->url : "";
  m_core.ResetMovie();
  m_stream = stream;
  m_arrival = PluginTimeMs();
  m_received = 0;
}

int32_t CPluginPlayer::WriteReady() const {
  if (m_speedLimit == 0) return 0x0FFFFFFF;
  return StreamByteBudget(PluginTimeMs(), m_arrival, m_speedLimit, m_received);
}

void CPluginPlayer::Write(const void* data, int32_t length) {
  if (length <= 0 || !data) return;
  m_received += static_cast<uint64_t>(length);
  m_core.Feed(data, static_cast<size_t>(length));
}

// ---- Printing -------------------------------------------------------------------------

void CPluginPlayer::Print(const NPPrint& print) {
  const NPWindow& area = print.print.embedPrint.window;
  PrintPluginFrame(m_core, print.print.embedPrint.platformPrint, area);
}

void CPluginPlayer::ResetPlayerPalettes() {
  for (CPluginPlayer* p = s_first; p; p = p->m_next) {
    if (!p->m_window) continue;  // players without a window are skipped
    p->m_window->Invalidate(p->m_window->ClientRect());
    p->m_core.FreeOffscreen();
  }
  // Built again from the system palette at the next paint.
  ReleasePlayerColorTable();
}

// ---- Window side ------------------------------------------------------------------------

namespace {
PluginWindowFactory g_windowFactory = nullptr;
PluginPrinter g_printer = nullptr;
uint32_t (*g_clock)() = nullptr;
}  // namespace

void SetPluginClock(uint32_t (*clock)()) {
  g_clock = clock;
}

uint32_t PluginTimeMs() {
  uint32_t ms;
  if (g_clock) {
    ms = g_clock();
  } else {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    ms = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  }
  return ms & CPlayerCore::kClockMask;
}

void SetPluginWindowFactory(PluginWindowFactory factory) {
  g_windowFactory = factory;
}
void SetPluginPrinter(PluginPrinter printer) {
  g_printer = printer;
}

std::unique_ptr<IPluginWindow> AttachPluginWindow(CPluginPlayer& player, void* handle) {
  return g_windowFactory ? g_windowFactory(player, handle) : nullptr;
}

void PrintPluginFrame(CPlayerCore& core, void* printerDc, const NPWindow& area) {
  if (g_printer) g_printer(core, printerDc, area);
}
