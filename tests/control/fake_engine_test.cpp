// The fake engine, bound by the client's own start-up: every call of the six
// entry points is recorded with its arguments, and results can be chosen.
#include <gtest/gtest.h>

#include "client/engine_binding.h"
#include "tests/support/fake_engine/fake_engine_log.h"

namespace vantrel {
namespace {

TEST(FakeEngine, RecordsEveryCallWithItsArguments) {
  testsupport::FakeEngineLog log;
  testsupport::FakeEngineLog::SetResult("strova_playon", 0);
  LoadMediaEngine(FAKE_ENGINE_DIR);
  ASSERT_TRUE(EngineLoaded);
  EXPECT_EQ(Engine.strova_startoutput(0, nullptr, 51035, "video/x-raw", 1280, 720, 30, 1), 1);
  EXPECT_EQ(Engine.strova_playon(12345), 0);
  EXPECT_EQ(Engine.strova_playoff(), 1);
  EXPECT_EQ(Engine.strova_endoutput(), 1);
  UnloadMediaEngine();
  EXPECT_EQ(log.Calls(),
            (std::vector<std::string>{"strova_init 1", "strova_startoutput 0 null 51035 video/x-raw 1280 720 30 1",
                                      "strova_playon 12345", "strova_playoff", "strova_endoutput", "strova_release"}));
  EXPECT_EQ(log.CallsOf("strova_playon").size(), 1u);
}

}  // namespace
}  // namespace vantrel
