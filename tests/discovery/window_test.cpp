// Discovery in the client window: real announcement datagrams sent to
// 127.0.0.1:51033 (and ::1) reach the device list, the address field, the
// connect button and the PIN boxes; a second window cannot take the port.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "client/VantrelUnit.h"
#include "client/device_id_list.h"
#include "client/engine_binding.h"
#include "client/mask_edit.h"
#include "tests/discovery/loopback_sender.h"

namespace {

using testsupport::Loopback;

constexpr std::uint16_t kPort = 51033;
const QString kEmptyAddress = "   .   .   .   ";

class DiscoveryForm : public TVantrelForm {
 public:
  bool connected = false;
  using TVantrelForm::GetPinCode;
  using TVantrelForm::ShowPinCode;

 protected:
  bool ConnectionOpen() const override { return connected; }
};

class WindowDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qApp) new QApplication(argc, argv);  // lives until the process ends
    vantrel::EngineLoaded = true;
    vantrel::AnnouncementPort = kPort;
    form = std::make_unique<DiscoveryForm>();
  }

  static void Announce(const std::string& payload, Loopback to = Loopback::IPv4) {
    ASSERT_TRUE(testsupport::SendDatagram(kPort, payload, to));
  }

  // Runs the event loop until the device list shows `count` entries; false
  // after 10 s.
  bool WaitForDevices(int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (DeviceIDComboBox()->count() < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return DeviceIDComboBox()->count() == count;
  }

  // Runs the event loop for a while, long enough for a datagram on loopback
  // to have been handled.
  static void Settle() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  QComboBox* DeviceIDComboBox() const { return form->DeviceIDComboBox; }
  QString Address() const { return form->DeviceIPEdit->text(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    names.reserve(DeviceIDComboBox()->count());
    for (int i = 0; i < DeviceIDComboBox()->count(); ++i)
      names.push_back(DeviceIDComboBox()->itemText(i).toStdString());
    return names;
  }

  int argc = 1;
  char name[24] = "discovery_window_test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<DiscoveryForm> form;
};

TEST_F(WindowDiscovery, ComesUpEmptyWithNoDeviceChosen) {
  EXPECT_EQ(DeviceIDComboBox()->count(), 0);
  EXPECT_EQ(DeviceIDComboBox()->currentIndex(), -1);
  EXPECT_EQ(Address(), kEmptyAddress);
  EXPECT_FALSE(form->ConnectBtn->isEnabled());
  EXPECT_EQ(form->GetPinCode(), "");
}

TEST_F(WindowDiscovery, TwoDevicesListedInOrderTheFirstChosen) {
  Announce("  Camera (192.168.1.50)\r\n");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(DeviceIDComboBox()->currentIndex(), 0);
  EXPECT_EQ(Address(), "192.168.  1. 50");
  EXPECT_TRUE(form->ConnectBtn->isEnabled());

  form->ShowPinCode("1234");
  Announce("Lobby (192.168.1.51)");
  ASSERT_TRUE(WaitForDevices(2));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Camera", "Lobby"}));
  EXPECT_EQ(DeviceIDComboBox()->currentIndex(), 0);
  EXPECT_EQ(Address(), "192.168.  1. 50");
  EXPECT_EQ(form->GetPinCode(), "1234");
}

TEST_F(WindowDiscovery, SameNameAtAnotherAddressIsAnotherDevice) {
  Announce("Camera (192.168.1.50)");
  Announce("Camera (192.168.1.60)");
  ASSERT_TRUE(WaitForDevices(2));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Camera", "Camera"}));
}

TEST_F(WindowDiscovery, RepeatedAnnouncementInAnyLetterCaseIsListedOnce) {
  Announce("Camera (192.168.1.50)");
  Announce("Camera (192.168.1.50)");
  Announce("\tCAMERA (192.168.1.50) ");
  Announce("Lobby (192.168.1.51)");
  ASSERT_TRUE(WaitForDevices(2));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Camera", "Lobby"}));
}

// A flood of distinct announcements: the list stops at its bound, and the
// devices announced first, the user's own among them, stay.
TEST_F(WindowDiscovery, AFloodStopsAtTheBoundAndTheFirstDevicesStay) {
  Announce("Camera (192.168.1.50)");
  ASSERT_TRUE(WaitForDevices(1));
  const int bound = static_cast<int>(vantrel::TDeviceIDList::kMaxDevices);
  for (int sent = 1; sent < bound + 100; sent += 25) {
    for (int i = sent; i < sent + 25; ++i)
      Announce("Flood " + std::to_string(i) + " (10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
               ")");
    if (sent + 25 <= bound) {
      ASSERT_TRUE(WaitForDevices(sent + 25));
    }
  }
  Settle();
  EXPECT_EQ(DeviceIDComboBox()->count(), bound);
  EXPECT_EQ(DeviceIDComboBox()->itemText(0), "Camera");
  EXPECT_EQ(DeviceIDComboBox()->itemText(bound - 1), QString("Flood %1").arg(bound - 1));
  EXPECT_EQ(DeviceIDComboBox()->currentIndex(), 0);
  EXPECT_EQ(Address(), "192.168.  1. 50");
}

TEST(DeviceIDList, EqualTextsInAnyLetterCaseAreOneDeviceUpToTheBound) {
  vantrel::TDeviceIDList list;
  EXPECT_TRUE(list.Add("Kamera Äpfel (10.0.0.1)"));
  EXPECT_FALSE(list.Add("KAMERA äPFEL (10.0.0.1)"));
  EXPECT_FALSE(list.Add("kamera äpfel (10.0.0.1)"));
  EXPECT_TRUE(list.Add("Kamera Äpfel (10.0.0.2)"));
  for (int i = 0; list.Size() < vantrel::TDeviceIDList::kMaxDevices; ++i)
    ASSERT_TRUE(list.Add(QString("Device %1 (10.1.0.1)").arg(i)));
  EXPECT_FALSE(list.Add("Latecomer (10.2.0.1)"));
  EXPECT_EQ(list.At(0), "Kamera Äpfel (10.0.0.1)");
  list.Clear();
  EXPECT_EQ(list.Size(), 0);
  EXPECT_TRUE(list.Add("Latecomer (10.2.0.1)"));
  EXPECT_TRUE(list.Add("KAMERA ÄPFEL (10.0.0.1)"));
}

TEST_F(WindowDiscovery, NoBlankBeforeTheParenthesis) {
  Announce("Camera(192.168.1.50)");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(Names(), std::vector<std::string>{"Camera"});
  EXPECT_EQ(Address(), "192.168.  1. 50");
}

TEST_F(WindowDiscovery, FirstParenthesesGiveTheAddress) {
  Announce("Cam (2) (192.168.1.50)");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(Names(), std::vector<std::string>{"Cam"});
  EXPECT_EQ(Address(), "  2.   .   .   ");
}

TEST_F(WindowDiscovery, NoClosingParenthesisListsTheDeviceButKeepsTheAddress) {
  Announce("Camera (192.168.1.50");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(Names(), std::vector<std::string>{"Camera"});
  EXPECT_EQ(Address(), kEmptyAddress);
  EXPECT_TRUE(form->ConnectBtn->isEnabled());
}

TEST_F(WindowDiscovery, PinTypedBeforeTheFirstAnnouncementIsEmptied) {
  form->ShowPinCode("4321");
  Announce("Camera (192.168.1.50)");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(form->GetPinCode(), "");
}

TEST_F(WindowDiscovery, ChoosingAnotherDeviceSetsItsAddressAndEmptiesThePin) {
  Announce("Camera (192.168.1.50)");
  Announce("Lobby (192.168.1.51)");
  ASSERT_TRUE(WaitForDevices(2));
  form->ShowPinCode("12");
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(DeviceIDComboBox(), &down);  // as the user steps to the next entry
  EXPECT_EQ(DeviceIDComboBox()->currentIndex(), 1);
  EXPECT_EQ(Address(), "192.168.  1. 51");
  EXPECT_EQ(form->GetPinCode(), "");
  EXPECT_TRUE(form->ConnectBtn->isEnabled());
}

TEST_F(WindowDiscovery, AnnouncementOverIPv6ReachesTheWindowToo) {
  if (!testsupport::SendDatagram(kPort, "", Loopback::IPv6)) GTEST_SKIP() << "no IPv6 loopback";
  Announce("Camera (192.168.1.50)", Loopback::IPv6);
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(Names(), std::vector<std::string>{"Camera"});
}

struct IgnoredCase {
  const char* label;
  std::string payload;
};

void PrintTo(const IgnoredCase& c, std::ostream* os) { *os << c.label; }

class IgnoredAnnouncement : public WindowDiscovery, public ::testing::WithParamInterface<IgnoredCase> {};

// The ignored datagram goes first; the one after it shows that it has been handled.
TEST_P(IgnoredAnnouncement, LeavesListAddressAndPinAlone) {
  form->ShowPinCode("99");
  Announce(GetParam().payload);
  Announce("Lobby (192.168.1.51)");
  ASSERT_TRUE(WaitForDevices(1));
  EXPECT_EQ(Names(), std::vector<std::string>{"Lobby"});
}

INSTANTIATE_TEST_SUITE_P(Payloads, IgnoredAnnouncement,
                         ::testing::Values(IgnoredCase{"LeadingParenthesis", "(192.168.1.50)"},
                                           IgnoredCase{"NoParenthesis", "Camera 192.168.1.50"},
                                           IgnoredCase{"BlanksBeforeParenthesis", " \t (192.168.1.50)"},
                                           IgnoredCase{"InvalidUtf8", "Camera\xC0\xAF (192.168.1.50)"},
                                           IgnoredCase{"Empty", ""}, IgnoredCase{"OnlyBlanks", " \r\n"},
                                           IgnoredCase{"Oversized", "Camera (192.168.1.50)" + std::string(8192, ' ')}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(WindowDiscovery, IgnoredWhileConnectedAndListedWhenItAnnouncesAgain) {
  form->connected = true;
  Announce("Camera (192.168.1.50)");
  Settle();
  EXPECT_EQ(DeviceIDComboBox()->count(), 0);
  form->connected = false;
  Settle();
  EXPECT_EQ(DeviceIDComboBox()->count(), 0);  // not kept for later
  Announce("Camera (192.168.1.50)");
  ASSERT_TRUE(WaitForDevices(1));
}

TEST_F(WindowDiscovery, DestroyedWithAnnouncementsInFlight) {
  for (int i = 0; i < 5; ++i) Announce("Camera " + std::to_string(i) + " (192.168.1.50)");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  form.reset();
  Settle();
}

TEST_F(WindowDiscovery, SecondWindowOnTheSamePortFailsToBeCreated) {
  try {
    DiscoveryForm second;
    FAIL() << "a second window listened on the same port";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::address_in_use);
    EXPECT_NE(std::string(error.what()).find("UDP port 51033"), std::string::npos) << error.what();
  }
  Announce("Camera (192.168.1.50)");  // the first window still listens
  ASSERT_TRUE(WaitForDevices(1));
}

}  // namespace
