// Address text shared by the POSIX and Win32 address lists.
#include "platform/local_addresses.h"

namespace platform {

std::string DottedDecimal(const unsigned char (&bytes)[4]) {
  return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2]) + '.' +
         std::to_string(bytes[3]);
}

}  // namespace platform
