// What the rendering and view code asks of the application shell (the
// application object with its frames and tool bars). The application
// installs its implementation; until then there is none, and callers treat
// what it would give as absent.
#pragma once

class CWnd;

class CAppShell {
 public:
  virtual ~CAppShell() = default;
  // The tool options bar: with no window, the active frame's (the main
  // frame's or the in-place frame's); with a window, the bar of the frame
  // that is that window or whose tool bars include it; null when none
  // matches.
  virtual CWnd* GetToolOptionBar(CWnd* window) = 0;
};

// The installed shell, null when none. SetAppShell returns the previous one.
CAppShell* AppShell();
CAppShell* SetAppShell(CAppShell* shell);
