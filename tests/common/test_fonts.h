// A private fontconfig configuration for tests: a fixed set of font files
// (Liberation Serif and Sans, DejaVu Sans, Droid Sans Fallback and one CFF
// face of the URW set) with the metric aliases kept, so that every machine
// resolves the same names to the same files. Call InstallTestFonts before
// the font service is first used.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace test_fonts {

inline const char* const kFiles[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Italic.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
    "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf",
};

inline std::string Dir() {
  return (std::filesystem::temp_directory_path() / ("vm-test-fonts-" + std::to_string(getpid())))
      .string();
}

inline std::string ConfigFile() {
  return Dir() + "/fonts.conf";
}

// Writes the configuration and points fontconfig at it.
inline void InstallTestFonts() {
  namespace fs = std::filesystem;
  fs::path dir = Dir();
  fs::create_directories(dir / "files");
  for (const char* f : kFiles) {
    fs::path link = dir / "files" / fs::path(f).filename();
    std::error_code ec;
    if (!fs::exists(link, ec)) fs::create_symlink(f, link, ec);
  }
  std::ofstream conf(dir / "fonts.conf");
  conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
       << "  <dir>" << (dir / "files").string() << "</dir>\n"
       << "  <cachedir>" << (dir / "cache").string() << "</cachedir>\n"
       << "  <include ignore_missing=\"yes\">"
          "/usr/share/fontconfig/conf.avail/30-metric-aliases.conf</include>\n"
       << "</fontconfig>\n";
  conf.close();
  setenv("FONTCONFIG_FILE", ConfigFile().c_str(), 1);
}

}  // namespace test_fonts

#include <cstdio>
#include <sstream>
#include <vector>

namespace test_fonts {

// Runs a command and returns what it printed.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

#ifdef VM_SOURCE_DIR
// The font oracle (fontTools) with its arguments.
inline std::string Oracle(const std::string& args) {
  return RunCommand(std::string("/usr/bin/python3 ") + VM_SOURCE_DIR +
                    "/tests/platform/font_oracle.py " + args);
}
#endif

}  // namespace test_fonts
