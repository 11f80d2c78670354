#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Decodes Base64 after removing tabs, line ends and spaces. False for an empty input. Bytes
// outside the alphabet count as 0; the output never exceeds (length / 4) * 3 bytes.
bool Base64Decode(std::string_view text, std::vector<uint8_t>& out);

// Encodes bytes as Base64 with padding, on one line.
std::string Base64Encode(const std::vector<uint8_t>& bytes);
