// The test side of the fake engine: points FAKE_ENGINE_LOG at a fresh file
// of its own and reads back the recorded calls, one "name arg1 arg2 ..." a line.
// FAKE_ENGINE_DIR (the fake library's folder, with its separator) comes from
// the build. Used on the test's own thread.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_env.h"

namespace testsupport {

class FakeEngineLog {
 public:
  FakeEngineLog() : path_(UniqueTempPath("fake-engine-").string()) {
    std::ofstream(path_).close();
    SetTestEnv("FAKE_ENGINE_LOG", path_);
  }
  ~FakeEngineLog() {
    UnsetTestEnv("FAKE_ENGINE_LOG");
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  FakeEngineLog(const FakeEngineLog&) = delete;
  FakeEngineLog& operator=(const FakeEngineLog&) = delete;

  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::ifstream file(path_);
    for (std::string line; std::getline(file, line);) calls.push_back(line);
    return calls;
  }
  // The recorded calls of one entry point.
  std::vector<std::string> CallsOf(const std::string& name) const {
    std::vector<std::string> calls;
    for (const std::string& call : Calls()) {
      if (call == name || call.starts_with(name + " ")) calls.push_back(call);
    }
    return calls;
  }

  // The next calls of `name` return `result` instead of 1.
  static void SetResult(const std::string& name, int result) {
    SetTestEnv("FAKE_ENGINE_RESULT_" + name, std::to_string(result));
  }

 private:
  std::string path_;
};

}  // namespace testsupport
