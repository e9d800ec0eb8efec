// TDeviceIDList, the window's list of announced devices: one trimmed
// announcement text per device, in order of arrival, with a look-up of equal
// texts (without regard to letter case) in constant time, and a bound on
// its length so that a flood of announcements cannot grow it, or the work
// per datagram, without end. GUI thread only (a plain value, no threads).
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace vantrel {

class TDeviceIDList {
 public:
  // Far more devices than any real network holds; past it new ones are
  // ignored, so the first devices (the user's own among them) stay.
  static constexpr qsizetype kMaxDevices = 256;

  // Appends `text` unless an entry equals it without regard to letter case
  // or the list is full; true when appended.
  bool Add(const QString& text);
  void Clear();

  qsizetype Size() const { return texts_.size(); }
  const QString& At(qsizetype index) const { return texts_.at(index); }

 private:
  QStringList texts_;
  QSet<QString> folded_;  // the case-folded texts
};

}  // namespace vantrel
