// vantrel-framequeue: opens the frame queue by name, watches it for a number
// of seconds and prints what it saw; optionally saves the newest frame.
// A reader only: it never writes the region. One thread.
#include <QImage>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "engine/frame_queue_reader.h"
#include "tools/vantrel-framequeue/framequeue_watch.h"

namespace {

using Clock = std::chrono::steady_clock;

bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

bool SaveNewestFrame(const FrameQueueReader& reader, const WatchOptions& options) {
  FrameQueueReader::Frame frame;
  FrameQueueReader::Copy copy = FrameQueueReader::Copy::Overwritten;
  for (int attempt = 0; attempt < 10 && copy == FrameQueueReader::Copy::Overwritten; ++attempt) {
    copy = reader.CopyNewestFrame(frame);
  }
  if (copy != FrameQueueReader::Copy::Copied) {
    std::fprintf(stderr, "no complete frame to save\n");
    return false;
  }
  const FrameQueueLayout& layout = reader.Layout();
  bool ok = true;
  if (!options.pgm_path.empty()) {
    ok = SaveFile(options.pgm_path, PgmOfLuma(frame.pixels.data(), layout.width, layout.height));
    std::printf("%s %s\n", ok ? "saved" : "could not save", options.pgm_path.c_str());
  }
  if (!options.png_path.empty()) {
    const std::vector<uint8_t> rgb = RgbOfNv12(frame.pixels.data(), layout.width, layout.height);
    const QImage image(rgb.data(), static_cast<int>(layout.width), static_cast<int>(layout.height),
                       static_cast<qsizetype>(layout.width) * 3, QImage::Format_RGB888);
    const bool saved = image.save(QString::fromStdString(options.png_path), "PNG");
    std::printf("%s %s\n", saved ? "saved" : "could not save", options.png_path.c_str());
    ok = ok && saved;
  }
  std::printf("saved frame: %u, timestamp %llu ns\n", frame.index, static_cast<unsigned long long>(frame.timestamp));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseWatchOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fputs(error.empty() ? "" : (error + "\n").c_str(), stderr);
    std::fputs(kWatchUsage, error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options->seconds));
  FrameQueueReader reader;
  while (!reader.Open(options->region_name.c_str())) {
    if (Clock::now() >= deadline) {
      std::fprintf(stderr, "no frame queue \"%s\"\n", options->region_name.c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const auto start = Clock::now();
  WatchReport report{reader.Header(), {}, 0, true};
  while (Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  report.last = reader.Header();
  report.writer_alive = reader.WriterAlive();
  report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("region: %s, %zu bytes\n%s", options->region_name.c_str(), reader.RegionBytes(),
              FormatReport(report).c_str());
  if (options->pgm_path.empty() && options->png_path.empty()) return 0;
  return SaveNewestFrame(reader, *options) ? 0 : 1;
}
