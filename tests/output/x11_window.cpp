#include "tests/output/x11_window.h"

#include <X11/Xlib.h>

namespace outputtest {

X11Window::X11Window(int width, int height) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  display_ = display;
  const int screen = DefaultScreen(display);
  window_ = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                                BlackPixel(display, screen), BlackPixel(display, screen));
  XMapWindow(display, window_);
  XSync(display, False);
}

X11Window::~X11Window() {
  if (!display_) return;
  Display* display = static_cast<Display*>(display_);
  XDestroyWindow(display, window_);
  XCloseDisplay(display);
}

}  // namespace outputtest
