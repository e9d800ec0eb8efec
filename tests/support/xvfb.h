// A private X server for tests that need real windows: starts Xvfb on a free
// display, points DISPLAY at it, and stops it when the object goes.
// Without GLX it stands for a machine where OpenGL cannot draw. Also takes
// screenshots with ImageMagick's import.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

class XvfbDisplay {
 public:
  enum class Glx { On, Off };
  explicit XvfbDisplay(const char* geometry = "1920x1080x24", Glx glx = Glx::On) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // Goes with the test even when the test is killed (a timeout), so that
      // it never keeps the test's inherited files, such as a lock, open.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      // The server keeps only the display pipe: no descriptor (or lock) of
      // the test process lives on in it.
      dup2(fds[1], 3);
      closefrom(4);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", geometry, "-nolisten", "tcp",
             glx == Glx::On ? "+extension" : "-extension", "GLX", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    ssize_t n = 0, got;
    while (n < 31 && (got = read(fds[0], buffer + n, 31 - n)) > 0) {
      n += got;
      if (buffer[n - 1] == '\n') break;
    }
    close(fds[0]);
    if (n > 0) {
      display_ = ":" + std::string(buffer, buffer[n - 1] == '\n' ? n - 1 : n);
      setenv("DISPLAY", display_.c_str(), 1);
    }
  }
  ~XvfbDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

  // Saves the whole screen, or one X11 window, as a PNG file.
  bool Screenshot(const std::string& png_path, unsigned long window = 0) const {
    const std::string target = window ? std::to_string(window) : std::string("root");
    const std::string command = "import -display " + display_ + " -window " + target + " " + png_path;
    return std::system(command.c_str()) == 0;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testsupport
