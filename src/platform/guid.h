// Random (version 4) GUIDs from the OpenSSL generator.
#pragma once

#include <string>

namespace platform {

// "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}" in upper-case hexadecimal, with the
// braces, as the platform's GUID-to-string conversion writes it.
std::string NewGuidString();

}  // namespace platform
