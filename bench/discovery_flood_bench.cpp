// The window's responsiveness under an announcement flood: the time from a
// click on PIN box 1 to its effect (the box's edit shown), measured without
// a flood (the baseline) and then while distinct announcements arrive on the
// window's discovery port at a steady rate, printed as percentiles and as a
// ratio to the baseline. Also the length the device list reached.
// Usage: discovery_flood_bench [datagrams-per-second [flood-seconds]]
// (10000 and 60 by default). Sends only to 127.0.0.1, on a free port of the
// window's own. Runs the window on the offscreen platform.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "client/VantrelUnit.h"
#include "client/engine_binding.h"
#include "client/udp_listener.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Sends distinct announcements to 127.0.0.1:`port` at `rate` a second until `stop`.
void Flood(uint16_t port, int rate, const std::atomic<bool>& stop, std::atomic<long>& sent) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto start = Clock::now();
  long n = 0;
  while (!stop) {
    const long due = static_cast<long>(Milliseconds(Clock::now() - start) * rate / 1000.0);
    for (; n < due && !stop; ++n) {
      const std::string text = "Flood " + std::to_string(n) + " (10." + std::to_string(n % 250) + "." +
                               std::to_string(n / 250 % 250) + ".1)";
      sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    sent = n;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  close(fd);
}

struct Latencies {
  std::vector<double> ms;
  int missed = 0;  // clicks without their effect
  double Percentile(double p) {
    if (ms.empty()) return 0;
    std::sort(ms.begin(), ms.end());
    return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))];
  }
};

// Clicks PIN box 1 (at `global` on the screen) every 50 ms for `seconds`,
// from a thread of its own, and measures until the GUI thread has shown the
// box's edit.
Latencies Probe(TVantrelForm& form, QPointF global, double seconds) {
  Latencies result;
  const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (Clock::now() < end) {
    std::atomic<bool> seen{false};
    const auto clicked = Clock::now();
    const QPointF at(27, 27);
    QCoreApplication::postEvent(form.PinPanel1, new QMouseEvent(QEvent::MouseButtonPress, at, at, global,
                                                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(form.PinPanel1, new QMouseEvent(QEvent::MouseButtonRelease, at, at, global,
                                                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    bool shown = false;
    QMetaObject::invokeMethod(&form, [&] {
      shown = form.PinEdit1->isVisible();
      form.PinEdit1->hide();
      seen = true;
    });
    while (!seen) std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (!shown) {
      ++result.missed;
      continue;
    }
    result.ms.push_back(Milliseconds(Clock::now() - clicked));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return result;
}

void Report(const char* phase, Latencies& l) {
  std::printf("%-9s clicks %4zu (missed %d)  median %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", phase, l.ms.size(),
              l.missed, l.Percentile(0.5), l.Percentile(0.99), l.Percentile(1.0));
}

}  // namespace

int main(int argc, char** argv) {
  const int rate = argc > 1 ? std::atoi(argv[1]) : 10000;
  const double flood_seconds = argc > 2 ? std::atof(argv[2]) : 60;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  vantrel::EngineLoaded = true;  // no missing-engine message
  vantrel::AnnouncementPort = 0;
  TVantrelForm form;
  form.show();
  QCoreApplication::processEvents();
  const uint16_t port = form.IdUDPServer1->Port();
  const QPointF box = form.PinPanel1->mapToGlobal(QPointF(27, 27));
  QPointingDevice::primaryPointingDevice();  // made here, on the GUI thread, before the clicks use it

  std::atomic<bool> done{false};
  Latencies baseline, flooded;
  long datagrams = 0;
  std::thread measuring([&] {
    baseline = Probe(form, box, 5);
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood(Flood, port, rate, std::cref(stop), std::ref(sent));
    flooded = Probe(form, box, flood_seconds);
    stop = true;
    flood.join();
    datagrams = sent;
    done = true;
  });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done) application.quit();
  });
  poll.start(50);
  application.exec();
  measuring.join();

  std::printf("flood: %ld datagrams in %.0f s (%d/s requested) to 127.0.0.1:%u; device list: %d entries\n", datagrams,
              flood_seconds, rate, port, form.DeviceIDComboBox->count());
  Report("baseline", baseline);
  Report("flood", flooded);
  std::printf("click-to-effect ratio flood/baseline: median %.2f  p99 %.2f\n",
              flooded.Percentile(0.5) / baseline.Percentile(0.5), flooded.Percentile(0.99) / baseline.Percentile(0.99));
  return 0;
}
