// vmphost: plays movies in the player library as a browser page would.
//
//   vmphost [options] movie.vmp
//   vmphost [options] --page page.html      (each <embed src=...> an instance)
//
// Options:
//   --param NAME=VALUE   a page parameter (loop, play, quality, scale, salign,
//                        bgcolor, speedlimit); repeatable
//   --size WxH           the window size (default 550x400)
//   --full-page          full-page instances (page parameters are not passed)
//   --chunk N            most bytes per write (default 65536)
//   --rate N             most bytes per 10 ms tick (default: no limit)
//   --base URL           the stream's URL (relative get-URL requests resolve
//                        against it; default the file's own)
//   --library PATH       the player library (default: the one built with vmphost)
//   --print FILE.pdf     once every stream has ended, print the first
//                        instance into a PDF and quit
//   --mono               print on a 1-bit printer
//   --quit-after MS      quit after that many milliseconds
// Get-URL requests and status texts are written to standard output.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/qt/wnd.h"
#include "plugin/host/host_core.h"

namespace {

int Usage(const char* message) {
  std::fprintf(stderr, "vmphost: %s\nusage: vmphost [options] movie.vmp | --page page.html\n",
               message);
  return 2;
}

std::string Absolute(const std::string& path) {
  char* full = realpath(path.c_str(), nullptr);
  if (!full) return path;
  std::string s = full;
  std::free(full);
  return s;
}

// The host's top-level window: a single instance follows its size.
class CHostFrame : public CWnd {
 public:
  CPluginHost* host = nullptr;
  void OnSize(UINT, int cx, int cy) override {
    if (host && host->Instances().size() == 1 && cx > 0 && cy > 0)
      host->Resize(*host->Instances()[0], 0, 0, cx, cy);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  HostOptions options;
  HostMovie single;
  std::string moviePath, pagePath, base, library = VM_PLAYER_LIBRARY, printPath;
  bool mono = false, sized = false;
  int quitAfter = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--param" && (v = next())) {
      const std::string p = v;
      const size_t eq = p.find('=');
      if (eq == std::string::npos) return Usage("--param takes NAME=VALUE");
      single.params.emplace_back(p.substr(0, eq), p.substr(eq + 1));
    } else if (a == "--size" && (v = next())) {
      if (std::sscanf(v, "%dx%d", &single.width, &single.height) != 2 || single.width < 1 ||
          single.height < 1 || single.width > 8192 || single.height > 8192)
        return Usage("--size takes WxH");
      sized = true;
    } else if (a == "--full-page") {
      options.full_page = true;
    } else if (a == "--chunk" && (v = next())) {
      options.chunk = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (a == "--rate" && (v = next())) {
      options.bytes_per_tick = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (a == "--base" && (v = next())) {
      base = v;
    } else if (a == "--library" && (v = next())) {
      library = v;
    } else if (a == "--page" && (v = next())) {
      pagePath = v;
    } else if (a == "--print" && (v = next())) {
      printPath = v;
    } else if (a == "--mono") {
      mono = true;
    } else if (a == "--quit-after" && (v = next())) {
      quitAfter = std::atoi(v);
    } else if (!a.empty() && a[0] != '-' && moviePath.empty()) {
      moviePath = a;
    } else {
      return Usage(("unknown or incomplete option " + a).c_str());
    }
  }
  std::vector<HostMovie> movies;
  if (!pagePath.empty()) {
    std::ifstream in(pagePath, std::ios::binary);
    if (!in) return Usage(("cannot read " + pagePath).c_str());
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    const std::string full = Absolute(pagePath);
    movies = ReadEmbedPage(page, full.substr(0, full.rfind('/')), error);
    if (!error.empty()) std::fprintf(stderr, "vmphost: %s\n", error.c_str());
    if (movies.empty()) return Usage("the page has no movie to play");
  } else {
    if (moviePath.empty()) return Usage("no movie given");
    std::ifstream in(moviePath, std::ios::binary);
    if (!in) return Usage(("cannot read " + moviePath).c_str());
    single.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    single.url = "file://" + Absolute(moviePath);
    movies.push_back(single);
  }
  for (HostMovie& m : movies) {
    if (!base.empty()) m.url = base;
    if (sized && pagePath.empty()) m.width = single.width, m.height = single.height;
  }

  CPluginHost host;
  std::string error;
  if (!host.Load(library, error)) {
    std::fprintf(stderr, "vmphost: %s\n", error.c_str());
    return 1;
  }
  // Instances side by side, 8 pixels apart.
  int width = 8, height = 0;
  for (const HostMovie& m : movies) width += m.width + 8, height = std::max(height, m.height);
  CHostFrame frame;
  const bool one = movies.size() == 1;
  if (!frame.Create("PL_Default", "vmphost", 0,
                    one ? CRect(40, 40, 40 + movies[0].width, 40 + movies[0].height)
                        : CRect(40, 40, 40 + width, 40 + height + 16),
                    nullptr, 0))
    return 1;
  int x = one ? 0 : 8;
  for (const HostMovie& m : movies) {
    if (!host.AddInstance(m, options, &frame, x, one ? 0 : 8)) break;
    x += m.width + 8;
  }
  frame.host = &host;
  frame.ShowWindow(1);
  if (host.Failed()) {
    std::fprintf(stderr, "vmphost: %s\n", host.Error().c_str());
    host.Close();
    return 1;
  }

  size_t urlsShown = 0, statusesShown = 0;
  bool printed = false;
  QTimer pump;
  QObject::connect(&pump, &QTimer::timeout, [&] {
    host.Pump(options);
    for (; urlsShown < host.urls.size(); ++urlsShown)
      std::cout << "GetURL " << host.urls[urlsShown].first << " " << host.urls[urlsShown].second
                << std::endl;
    for (; statusesShown < host.statuses.size(); ++statusesShown)
      if (!host.statuses[statusesShown].empty())
        std::cout << "Status " << host.statuses[statusesShown] << std::endl;
    if (host.Failed()) {
      std::fprintf(stderr, "vmphost: %s\n", host.Error().c_str());
      QApplication::exit(1);
    } else if (!printPath.empty() && !printed && host.AllStreamsEnded() &&
               !host.Instances().empty()) {
      printed = true;
      const QImage page = host.Print(*host.Instances()[0], mono);
      if (!SaveImageAsPdf(page, printPath)) {
        std::fprintf(stderr, "vmphost: cannot write %s\n", printPath.c_str());
        QApplication::exit(1);
      } else {
        QApplication::exit(0);
      }
    }
  });
  pump.start(10);
  if (quitAfter >= 0) QTimer::singleShot(quitAfter, [] { QApplication::exit(0); });
  const int result = QApplication::exec();
  pump.stop();
  host.Close();
  frame.DestroyWindow();
  return result;
}
