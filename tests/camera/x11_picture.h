// Real windows and what they show, for the camera-area video tests: an X11
// window on the test display, a screenshot read back as RGB, and the check
// that it shows the test camera's bars.
#pragma once

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/camera/test_camera.h"
#include "tests/support/xvfb.h"

namespace camerasupport {

// A mapped top-level window of the given size at the top left of the screen.
class X11Window {
 public:
  X11Window(int width, int height) : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, width, height, 0,
                                  BlackPixel(display_, screen), BlackPixel(display_, screen));
    XMapWindow(display_, window_);
    XSync(display_, False);
  }
  ~X11Window() {
    if (!display_) return;
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  unsigned long id() const { return window_; }
  int ChildCount() const { return ChildCountOf(window_); }
  int TopLevelCount() const { return ChildCountOf(DefaultRootWindow(display_)); }

 private:
  int ChildCountOf(Window parent) const {
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    XSync(display_, False);
    XQueryTree(display_, parent, &root, &up, &children, &count);
    if (children) XFree(children);
    return static_cast<int>(count);
  }
  Display* display_;
  Window window_ = 0;
};

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  testcamera::Rgb At(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

// Screenshot of a window (0: the whole screen) saved as png_path and read back.
inline Picture TakePicture(const testsupport::XvfbDisplay& display, const std::string& png_path,
                           unsigned long window = 0) {
  Picture picture;
  const std::string ppm_path = png_path + ".ppm";
  if (!display.Screenshot(png_path, window)) return picture;
  if (std::system(("convert " + png_path + " " + ppm_path).c_str()) != 0) return picture;
  std::ifstream in(ppm_path, std::ios::binary);
  std::string magic;
  int max_value = 0;
  in >> magic >> picture.width >> picture.height >> max_value;
  in.get();
  if (magic != "P6" || max_value != 255) return Picture{};
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
  std::remove(ppm_path.c_str());
  return picture;
}

// True when the top quarter of the picture shows the seven bars of the test
// camera, left to right, within a tolerance that survives H.264.
inline bool ShowsBars(const Picture& picture) {
  if (picture.width < 7 || picture.height < 4) return false;
  for (int bar = 0; bar < 7; ++bar) {
    const testcamera::Rgb seen = picture.At((2 * bar + 1) * picture.width / 14, picture.height / 4);
    const testcamera::Rgb& want = testcamera::kBars[bar];
    if (std::abs(seen.r - want.r) > 48 || std::abs(seen.g - want.g) > 48 || std::abs(seen.b - want.b) > 48) {
      return false;
    }
  }
  return true;
}

// Takes pictures of a window until it shows the bars or limit_ms passes.
inline bool WaitForBars(const testsupport::XvfbDisplay& display, unsigned long window, const std::string& png_path,
                        int limit_ms) {
  for (int waited = 0; waited <= limit_ms; waited += 250) {
    if (ShowsBars(TakePicture(display, png_path, window))) return true;
    usleep(250 * 1000);
  }
  return false;
}

}  // namespace camerasupport
