// The browser side of the player library, as the host program plays it.
#include "plugin/host/host_core.h"

#include <dlfcn.h>

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "platform/qt/dc.h"
#include "platform/qt/messages.h"

namespace {

// The host whose library is being called (one library per host; the
// callbacks find the host through it).
CPluginHost* g_host = nullptr;

NPError HostGetUrl(NPP, const char* url, const char* window) {
  if (!g_host || !url) return NPERR_GENERIC_ERROR;
  g_host->urls.emplace_back(url, window ? window : "");
  return NPERR_NO_ERROR;
}

void HostStatus(NPP, const char* message) {
  if (g_host && message) g_host->statuses.emplace_back(message);
}

// Every other entry is there (never null) and refuses.
NPError NoPostUrl(NPP, const char*, const char*, uint32_t, const char*, NPBool) {
  return NPERR_GENERIC_ERROR;
}
NPError NoRequestRead(NPStream*, void*) {
  return NPERR_GENERIC_ERROR;
}
NPError NoNewStream(NPP, NPMIMEType, const char*, NPStream**) {
  return NPERR_GENERIC_ERROR;
}
int32_t NoWrite(NPP, NPStream*, int32_t, void*) {
  return -1;
}
NPError NoDestroyStream(NPP, NPStream*, NPError) {
  return NPERR_GENERIC_ERROR;
}
const char* HostUserAgent(NPP) {
  return "vmphost";
}
void* NoMemAlloc(uint32_t) {
  return nullptr;
}
void NoMemFree(void*) {}
uint32_t NoMemFlush(uint32_t) {
  return 0;
}
void NoReloadPlugins(NPBool) {}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

// ---- Pages -------------------------------------------------------------------------------

namespace {

// The attributes of one tag's text (after its name): name=value with the
// value quoted or bare; names in lower case.
std::vector<std::pair<std::string, std::string>> TagAttributes(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  auto space = [&] {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  };
  while (i < text.size()) {
    space();
    const size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
           text[i] != '=' && text[i] != '/')
      ++i;
    std::string name = Lower(text.substr(start, i - start));
    space();
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      space();
      if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        const char quote = text[i++];
        const size_t end = text.find(quote, i);
        value = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? text.size() : end + 1;
      } else {
        const size_t from = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        value = text.substr(from, i - from);
      }
    }
    if (!name.empty()) out.emplace_back(std::move(name), std::move(value));
    if (i == start) ++i;  // a stray character
  }
  return out;
}

}  // namespace

std::vector<HostMovie> ReadEmbedPage(const std::string& page, const std::string& dir,
                                     std::string& error) {
  std::vector<HostMovie> movies;
  const std::string lower = Lower(page);
  for (size_t at = lower.find("<embed"); at != std::string::npos;
       at = lower.find("<embed", at + 1)) {
    const size_t end = lower.find('>', at);
    if (end == std::string::npos) break;
    HostMovie movie;
    std::string src;
    for (auto& [name, value] : TagAttributes(page.substr(at + 6, end - at - 6))) {
      if (name == "src") {
        src = value;
      } else if (name == "width") {
        movie.width = std::clamp(std::atoi(value.c_str()), 1, 8192);
      } else if (name == "height") {
        movie.height = std::clamp(std::atoi(value.c_str()), 1, 8192);
      } else {
        movie.params.emplace_back(name, value);
      }
    }
    if (src.empty()) continue;
    const std::string path = src[0] == '/' || dir.empty() ? src : dir + "/" + src;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      if (error.empty()) error = "cannot read " + path;
      continue;
    }
    movie.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    movie.url = "file://" + path;
    movies.push_back(std::move(movie));
  }
  return movies;
}

// ---- Library -----------------------------------------------------------------------------

CPluginHost::CPluginHost() {
  m_browser.size = sizeof m_browser;
  m_browser.version = 0x000B;
  m_browser.geturl = HostGetUrl;
  m_browser.posturl = NoPostUrl;
  m_browser.requestread = NoRequestRead;
  m_browser.newstream = NoNewStream;
  m_browser.write = NoWrite;
  m_browser.destroystream = NoDestroyStream;
  m_browser.status = HostStatus;
  m_browser.uagent = HostUserAgent;
  m_browser.memalloc = NoMemAlloc;
  m_browser.memfree = NoMemFree;
  m_browser.memflush = NoMemFlush;
  m_browser.reloadplugins = NoReloadPlugins;
  m_funcs.size = sizeof m_funcs;
}

CPluginHost::~CPluginHost() {
  Close();
  if (g_host == this) g_host = nullptr;
}

bool CPluginHost::Check(NPError result, const char* what) {
  if (result == NPERR_NO_ERROR) return true;
  m_failed = true;
  m_error = std::string(what) + " failed with error " + std::to_string(result);
  return false;
}

bool CPluginHost::Load(const std::string& path, std::string& error) {
  // The library stays loaded for the process: its window procedures may
  // still be in windows' chains.
  m_library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_library) {
    m_failed = true;
    m_error = error = std::string("cannot load the player library: ") + dlerror();
    return false;
  }
  m_getEntryPoints = reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(m_library, "NP_GetEntryPoints"));
  m_initialize = reinterpret_cast<NP_InitializeFunc>(dlsym(m_library, "NP_Initialize"));
  m_shutdown = reinterpret_cast<NP_ShutdownFunc>(dlsym(m_library, "NP_Shutdown"));
  m_mimeDescription =
      reinterpret_cast<NP_GetMIMEDescriptionFunc>(dlsym(m_library, "NP_GetMIMEDescription"));
  if (!m_getEntryPoints || !m_initialize || !m_shutdown || !m_mimeDescription) {
    m_failed = true;
    m_error = error = "the library lacks an entry point";
    return false;
  }
  g_host = this;
  if (!Check(m_getEntryPoints(&m_funcs), "NP_GetEntryPoints") ||
      !Check(m_initialize(&m_browser), "NP_Initialize")) {
    error = m_error;
    return false;
  }
  m_initialized = true;
  return true;
}

const char* CPluginHost::MimeDescription() const {
  return m_mimeDescription ? m_mimeDescription() : "";
}

// ---- Instances ---------------------------------------------------------------------------

CPluginHost::Instance* CPluginHost::AddInstance(const HostMovie& movie, const HostOptions& options,
                                                CWnd* parent, int x, int y) {
  if (m_failed || !m_initialized) return nullptr;
  auto inst = std::make_unique<Instance>();
  Instance& in = *inst;
  in.url = movie.url;
  in.bytes = movie.bytes;
  std::vector<std::string> names, values;
  for (const auto& [n, v] : movie.params) names.push_back(n), values.push_back(v);
  std::vector<char*> argn, argv;
  for (size_t i = 0; i < names.size(); ++i) {
    argn.push_back(names[i].data());
    argv.push_back(values[i].data());
  }
  char mime[] = "application/vimbrel";
  const uint16_t mode = options.full_page ? NP_FULL : NP_EMBED;
  if (!Check(m_funcs.newp(mime, &in.npp, mode, static_cast<int16_t>(argn.size()), argn.data(),
                          argv.data(), nullptr),
             "NPP_New"))
    return nullptr;
  m_instances.push_back(std::move(inst));
  in.wnd = std::make_unique<CWnd>();
  const DWORD style = WS_VISIBLE | (parent ? WS_CHILD : 0);
  in.wnd->Create("PL_Default", "", style, CRect(x, y, x + movie.width, y + movie.height), parent,
                 0);
  SetWindow(in);
  if (m_failed) return nullptr;
  in.stream.url = in.url.c_str();
  in.stream.end = static_cast<uint32_t>(std::min<size_t>(in.bytes.size(), UINT32_MAX));
  uint16_t type = NP_NORMAL;
  if (!Check(m_funcs.newstream(&in.npp, mime, &in.stream, 0, &type), "NPP_NewStream"))
    return nullptr;
  in.stream_open = true;
  return &in;
}

void CPluginHost::SetWindow(Instance& in) {
  const CRect r = in.wnd->GetWindowRect();
  const CRect client = in.wnd->GetClientRect();
  in.window.window = in.wnd->GetSafeHwnd();
  in.window.x = r.left;
  in.window.y = r.top;
  in.window.width = static_cast<uint32_t>(client.Width());
  in.window.height = static_cast<uint32_t>(client.Height());
  in.window.clipRect = {0, 0, static_cast<uint16_t>(client.Height()),
                        static_cast<uint16_t>(client.Width())};
  (void)Check(m_funcs.setwindow(&in.npp, &in.window), "NPP_SetWindow");
}

void CPluginHost::Resize(Instance& in, int x, int y, int width, int height) {
  if (m_failed || !in.wnd) return;
  in.wnd->MoveWindow(CRect(x, y, x + width, y + height));
  SetWindow(in);
}

void CPluginHost::EndStream(Instance& in, NPReason reason) {
  in.stream_open = false;
  in.stream_ended = true;
  (void)Check(m_funcs.destroystream(&in.npp, &in.stream, reason), "NPP_DestroyStream");
}

void CPluginHost::Pump(const HostOptions& options) {
  RunPosted();
  uint64_t budget = options.bytes_per_tick ? options.bytes_per_tick : UINT64_MAX;
  for (auto& inst : m_instances) {
    Instance& in = *inst;
    if (m_failed) return;
    if (!in.stream_open) continue;
    if (in.sent >= in.bytes.size()) {
      EndStream(in, NPRES_DONE);
      continue;
    }
    const int32_t ready = m_funcs.writeready(&in.npp, &in.stream);
    if (ready <= 0) continue;  // asked again next tick
    const uint64_t want =
        std::min<uint64_t>({static_cast<uint64_t>(ready), options.chunk ? options.chunk : 65536,
                            in.bytes.size() - in.sent, budget, static_cast<uint64_t>(INT32_MAX)});
    if (want == 0) continue;
    const int32_t taken = m_funcs.write(&in.npp, &in.stream, static_cast<int32_t>(in.sent),
                                        static_cast<int32_t>(want), in.bytes.data() + in.sent);
    if (taken < 0) {
      EndStream(in, NPRES_NETWORK_ERR);
      continue;
    }
    if (taken == 0) {
      if (++in.stalls >= 3) EndStream(in, NPRES_USER_BREAK);
      continue;
    }
    in.stalls = 0;
    in.sent += std::min<size_t>(static_cast<size_t>(taken), want);
    budget -= std::min<uint64_t>(budget, want);
    if (in.sent >= in.bytes.size()) EndStream(in, NPRES_DONE);
  }
}

bool CPluginHost::AllStreamsEnded() const {
  return std::none_of(m_instances.begin(), m_instances.end(),
                      [](const auto& in) { return in->stream_open; });
}

void CPluginHost::RunPosted() {
  // The requests of the last calls become navigations now.
  for (size_t i = navigations.size(); i < urls.size(); ++i) navigations.push_back(urls[i]);
}

QImage CPluginHost::Print(Instance& in, bool mono, int width, int height) {
  if (width <= 0 || height <= 0) {
    width = static_cast<int>(in.window.width);
    height = static_cast<int>(in.window.height);
  }
  QImage image(std::max(width, 1), std::max(height, 1),
               mono ? QImage::Format_Mono : QImage::Format_RGB32);
  if (mono) {
    image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    image.fill(1);
  } else {
    image.fill(0xFFFFFFFFu);
  }
  if (m_failed) return image;
  CDC dc;
  dc.AttachImage(&image);
  NPPrint print{};
  print.mode = NP_EMBED;
  print.print.embedPrint.window.x = 0;
  print.print.embedPrint.window.y = 0;
  print.print.embedPrint.window.width = static_cast<uint32_t>(image.width());
  print.print.embedPrint.window.height = static_cast<uint32_t>(image.height());
  print.print.embedPrint.platformPrint = &dc;
  m_funcs.print(&in.npp, &print);
  return image;
}

void CPluginHost::Close() {
  DestroyInstances();
  if (m_initialized) m_shutdown();
  m_initialized = false;
}

void CPluginHost::DestroyInstances() {
  for (auto& inst : m_instances) {
    if (m_initialized && !m_failed) {
      if (inst->stream_open) EndStream(*inst, NPRES_USER_BREAK);
      NPSavedData* saved = nullptr;
      (void)Check(m_funcs.destroy(&inst->npp, &saved), "NPP_Destroy");
    }
    if (inst->wnd) inst->wnd->DestroyWindow();
  }
  m_instances.clear();
}

bool SaveImageAsPdf(const QImage& image, const std::string& path) {
  QPdfWriter pdf(QString::fromStdString(path));
  pdf.setResolution(72);
  pdf.setPageSize(QPageSize(QSizeF(image.width(), image.height()), QPageSize::Point));
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  if (!painter.begin(&pdf)) return false;
  painter.drawImage(QRectF(0, 0, image.width(), image.height()), image);
  return painter.end();
}
