// Base64 (RFC 2045 alphabet, "=" fill, no line breaks) for the mail client's AUTH exchanges.
#pragma once

#include <string>
#include <string_view>

namespace tarvell::smtp {

std::string Base64Encode(std::string_view bytes);
// Letters, digits, "+" and "/".
bool IsBase64Char(char c);
// Decodes characters while IsBase64Char holds and stops at the first other one ("=", a blank,
// a line end); a trailing group of one character (six bits) adds no byte.
std::string Base64Decode(std::string_view text);

}  // namespace tarvell::smtp
