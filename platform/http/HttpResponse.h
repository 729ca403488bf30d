// The response side: a whole HTTP/1.0 response that closes the connection, and the escaping of
// text put into an HTML page.
#pragma once

#include <string>
#include <string_view>

#include "platform/Text.h"

namespace tarvell::http {

// The reason phrase of the status codes this server sends (200, 400, 403, 404, 405, 503);
// "Error" for any other.
std::string_view ReasonPhrase(int status);

// "HTTP/1.0 <status> <reason>", Content-Type, Content-Length, Connection: close, the extra header
// lines (each ending in "\r\n"; a constant of the caller, never data), an empty line, the body.
std::string FormatResponse(int status, std::string_view contentType, std::string_view body,
                           std::string_view extraHeaders = {});

// HTML escaping: the one of the platform.
using ::tarvell::EscapeHtml;

}  // namespace tarvell::http
