#include "platform/http/HttpResponse.h"

namespace tarvell::http {

std::string_view ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 503: return "Service Unavailable";
        default: return "Error";
    }
}

std::string FormatResponse(int status, std::string_view contentType, std::string_view body,
                           std::string_view extraHeaders) {
    std::string out = "HTTP/1.0 " + std::to_string(status) + " ";
    out += ReasonPhrase(status);
    out += "\r\nContent-Type: ";
    out += contentType;
    out += "\r\nContent-Length: " + std::to_string(body.size());
    out += "\r\nConnection: close\r\n";
    out += extraHeaders;
    out += "\r\n";
    out += body;
    return out;
}

}  // namespace tarvell::http
