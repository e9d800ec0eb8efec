// A plain mapped X11 window for the preview to draw into (DISPLAY must be
// set). Xlib stays in the .cpp: its macros clash with ordinary names.
#pragma once

namespace outputtest {

class X11Window {
 public:
  X11Window(int width, int height);
  ~X11Window();
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;
  unsigned long id() const { return window_; }

 private:
  void* display_ = nullptr;
  unsigned long window_ = 0;
};

}  // namespace outputtest
