// The mail client's settings from the service's settings document, shared by the e-mail alert
// channel and the report mails: server, port, security, login, sender and timeout as the
// settings screens store them, and the service folder's "smtp-ca.pem" (certificates of an
// internal relay's own authority), trusted beside the system's when the file exists.
#pragma once

#include <optional>
#include <string>

#include "platform/smtp/CSmtpClient.h"
#include "shared/CTarvellDoc.h"

namespace tarvell {

inline constexpr const char* kSmtpCaFileName = "smtp-ca.pem";

// nullopt with the reason in `error` when the port text is not a port number. The texts stay
// as stored (code page 1252); CSmtpClient::SendMail converts them.
std::optional<smtp::SmtpSettings> MailSettings(const CTarvellDoc& settings,
                                               const std::string& serviceFolder,
                                               std::string* error = nullptr);

}  // namespace tarvell
