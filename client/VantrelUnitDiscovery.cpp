// TVantrelForm's device discovery: the listener IdUDPServer1, the
// announcement handler and the device list's change handler, and the
// station-name step of the create handler. All of it runs on the GUI thread;
// the listener's own threads only hand datagrams over (udp_listener.h).
#include <QComboBox>
#include <string_view>

#include "client/VantrelUnit.h"
#include "client/announcement.h"
#include "client/mask_edit.h"
#include "client/station_name.h"
#include "client/udp_listener.h"

namespace vantrel {

std::uint16_t AnnouncementPort = 51033;

}  // namespace vantrel

void TVantrelForm::StartDeviceDiscovery() {
  connect(DeviceIDComboBox, &QComboBox::activated, this, [this] { DeviceIDComboBoxChange(DeviceIDComboBox); });
  IdUDPServer1 = new TUdpListener(this);
  IdUDPServer1->setObjectName("IdUDPServer1");
  // A port that cannot be bound throws out of the window's creation.
  IdUDPServer1->Start(vantrel::AnnouncementPort, [this](const QByteArray& data) { IdUDPServer1UDPRead(data); });
}

void TVantrelForm::FormStationName() {
  LocalName = QString::fromStdString(vantrel::StationName(vantrel::GetLocalIP()));
}

void TVantrelForm::IdUDPServer1UDPRead(const QByteArray& AData) {
  if (ConnectionOpen()) return;
  const auto announcement = vantrel::ParseAnnouncement(std::string_view(AData.constData(), AData.size()));
  if (!announcement) return;
  const QString text = QString::fromStdString(announcement->text);
  // Taken before adding: the first item added to an empty list becomes
  // current by itself, without the change event.
  const bool none_selected = DeviceIDComboBox->currentIndex() < 0;
  if (!DeviceIDList->Add(text)) return;
  DeviceIDComboBox->addItem(QString::fromStdString(announcement->name));
  if (none_selected) {
    DeviceIDComboBox->setCurrentIndex(0);
    DeviceIDComboBoxChange(this);
  }
}

void TVantrelForm::DeviceIDComboBoxChange(QObject*) {
  const int index = DeviceIDComboBox->currentIndex();
  const bool chosen = index >= 0 && index < DeviceIDList->Size();
  if (chosen) {
    if (const auto address = vantrel::AnnouncedAddress(DeviceIDList->At(index).toStdString()))
      DeviceIPEdit->setText(QString::fromStdString(*address));
  }
  ConnectBtn->setEnabled(chosen);
  ShowPinCode(QString());
}
