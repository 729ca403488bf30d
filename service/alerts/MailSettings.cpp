#include "service/alerts/MailSettings.h"

#include "platform/Files.h"

namespace tarvell {

std::optional<smtp::SmtpSettings> MailSettings(const CTarvellDoc& settings,
                                               const std::string& serviceFolder,
                                               std::string* error) {
    auto s = smtp::SmtpSettingsFromTexts(
        settings.SmtpServer, settings.SmtpPort, settings.SmtpSecurity, settings.SmtpUser,
        settings.SmtpPassword, settings.SmtpSender, settings.SmtpTimeout, error);
    if (s) s->caFile = JoinPath(serviceFolder, kSmtpCaFileName);
    return s;
}

}  // namespace tarvell
