// The window's list of announced devices (see device_id_list.h).
#include "client/device_id_list.h"

namespace vantrel {

bool TDeviceIDList::Add(const QString& text) {
  const QString folded = text.toCaseFolded();
  if (texts_.size() >= kMaxDevices || folded_.contains(folded)) return false;
  folded_.insert(folded);
  texts_.append(text);
  return true;
}

void TDeviceIDList::Clear() {
  texts_.clear();
  folded_.clear();
}

}  // namespace vantrel
