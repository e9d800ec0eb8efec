// The control session reaches the device on its own TCP port, 51034.
#include "tests/control/session_fixture.h"

namespace sessiontest {
namespace {

class DefaultPortTest : public SessionWindowTest {
 protected:
  DefaultPortTest() : SessionWindowTest(51034) {}
};

TEST_F(DefaultPortTest, LogsInOnPort51034) {
  ASSERT_EQ(server.port(), 51034);
  LogIn();
  ASSERT_TRUE(server.Send("OK=1280x720\n"));
  ASSERT_TRUE(WaitForCalls(2));
  EXPECT_EQ(EngineCalls(), (Calls{StartOutput(1280, 720), PlayOn()}));
}

}  // namespace
}  // namespace sessiontest
