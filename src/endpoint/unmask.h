// Unmasking of client payloads (RFC 6455, section 5.3), many bytes at a
// time: large messages (documents to print) are megabytes long.
#pragma once

#include <cstddef>
#include <cstdint>

namespace endpoint {

// XORs n bytes at data with the masking key, in place. offset is the position
// of data[0] in the frame's payload: the key repeats every four bytes from
// the payload's first byte, so a payload may be unmasked piece by piece.
void UnmaskInPlace(char* data, size_t n, const uint8_t key[4], uint64_t offset = 0);

}  // namespace endpoint
