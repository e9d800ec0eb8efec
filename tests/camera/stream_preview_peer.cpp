// Second process of the stream loop test: loads libstrova.so like a caller
// would, shows the stream arriving on the port given as its argument in a
// window of its own, prints the window id, and ends when its stdin closes.
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "engine/strova.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* engine = dlopen(STROVA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!engine) return 3;
  auto init = reinterpret_cast<decltype(&strova_init)>(dlsym(engine, "strova_init"));
  auto start = reinterpret_cast<decltype(&strova_startplaystream)>(dlsym(engine, "strova_startplaystream"));
  auto end = reinterpret_cast<decltype(&strova_endplaystream)>(dlsym(engine, "strova_endplaystream"));
  auto release = reinterpret_cast<decltype(&strova_release)>(dlsym(engine, "strova_release"));
  Display* display = XOpenDisplay(nullptr);
  if (!init || !start || !end || !release || !display) return 4;
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 360, 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);

  if (init(1) != 1 || start(std::atoi(argv[1]), 96, window) != 1) return 5;
  std::printf("%lu\n", window);
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  const int ended = end();
  release();
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  dlclose(engine);
  return ended == 1 ? 0 : 6;
}
