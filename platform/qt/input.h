// The input source of modal gestures.
//
// A drag in the system is a loop inside a button-down handler that polls
// IsButtonStillDown and reads the cursor position, the asynchronous key
// state, the tick count and tablet packets. The Qt source records, while
// such a loop runs, every input event meant for a widget (and swallows it, so
// no other window reacts) and hands out one recorded sample per poll: a burst
// of moves is never collapsed into one. Each poll pumps Qt's events once
// (socket notifiers and timers excluded); when nothing new came it sleeps
// about a millisecond. The button state is seeded from the pressing event.
// Focus loss, deactivation and a lost grab end the gesture (the button then
// counts as released). Timers and posted messages are held back and
// commands refused while a gesture runs.
//
// Tests put a scripted source with a fake clock behind the same interface.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "platform/qt/tablet.h"
#include "platform/qt/win_types.h"

// One input state: where the cursor is, what is pressed, when.
struct InputSample {
  uint32_t time = 0;            // milliseconds (the source's tick count)
  CPoint screen;                // cursor in screen pixels
  UINT buttons = 0;             // MK_LBUTTON, MK_RBUTTON, MK_MBUTTON
  UINT keys = 0;                // MK_SHIFT, MK_CONTROL, kInputAlt
  std::vector<PACKET> packets;  // tablet packets that came with it
  bool ends_gesture = false;    // focus loss, deactivation, lost grab
};
constexpr UINT kInputAlt = 0x0100;

class CInputSource {
 public:
  virtual ~CInputSource() = default;

  // One poll step of a modal loop: takes the next sample and answers whether
  // the primary button is down (the right one when buttons are swapped).
  bool IsButtonStillDown(HWND hwnd);
  CPoint GetCursorPos() const { return m_current.screen; }
  // 0x8000 when the key or button is down (VK_LBUTTON, VK_RBUTTON,
  // VK_MBUTTON, VK_SHIFT, VK_CONTROL, VK_MENU).
  int16_t GetAsyncKeyState(int vk) const;
  virtual uint32_t GetTickCount() = 0;
  const InputSample& Current() const { return m_current; }

  // Called by the window layer for every input event it translates, and
  // around the dispatch of a button press (the gesture lives inside it).
  void NoteInput(const InputSample& sample);
  void BeginPress(HWND hwnd, const InputSample& sample);
  void EndPress();
  bool IsGestureActive() const { return m_gesture; }
  // Focus loss, deactivation or a lost grab ended the running gesture.
  bool HasGestureEnded() const { return m_gesture && m_ended; }

 protected:
  // Fills the queue of samples (the Qt source pumps events); may be empty.
  virtual void Pump() = 0;
  // Nothing new came: wait a little (the Qt source sleeps, the fake clock steps).
  virtual void Idle() = 0;
  virtual void StartRecording() {}
  virtual void StopRecording() {}
  void Record(InputSample sample) { m_queue.push_back(std::move(sample)); }

  InputSample m_current;

 private:
  std::deque<InputSample> m_queue;
  HWND m_pressWnd = nullptr;
  int m_pressDepth = 0;
  bool m_gesture = false;
  bool m_ended = false;
};

// The source in use (the Qt source unless a test set another).
CInputSource& GetInputSource();
// Installs a source; null goes back to the Qt source.
void SetInputSource(CInputSource* source);

// The primary button is the right one when swapped.
void SetMouseButtonsSwapped(bool swapped);
bool AreMouseButtonsSwapped();

// Free forms of the calls the modal loops make.
bool IsButtonStillDown(HWND hwnd);
CPoint GetCursorPos();
int16_t GetAsyncKeyState(int vk);
uint32_t GetTickCount();
bool IsGestureActive();

// Runs fn after the current gesture ends (at once when none runs).
void RunAfterGesture(std::function<void()> fn);

// A scripted source with a fake clock: each poll takes the next pushed
// sample (its time becomes the clock's, its tablet packets are queued);
// with nothing left the button counts as released and the clock steps 1 ms.
class CScriptedInputSource : public CInputSource {
 public:
  void Push(InputSample sample) { m_script.push_back(std::move(sample)); }
  void SetTime(uint32_t t) { m_clock = t; }
  uint32_t GetTickCount() override { return m_clock; }
  size_t Remaining() const { return m_script.size(); }

 protected:
  void Pump() override;
  void Idle() override { ++m_clock; }

 private:
  std::deque<InputSample> m_script;
  uint32_t m_clock = 0;
};
