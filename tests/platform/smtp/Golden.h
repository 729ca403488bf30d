// Mail bytes compared with the golden files in tests/fixtures/smtp, and a mail's Date line
// taken out for messages sent at an unknown time.
#pragma once

#include <string>

#include "tests/support/Golden.h"

namespace tarvell::smtp::test {

// The mail golden files live in tests/fixtures/smtp.
inline void ExpectGolden(const std::string& name, const std::string& actual) {
    tarvell::test::ExpectGolden("smtp/" + name, actual);
}

// The message with its Date line replaced, for messages sent at an unknown time.
inline std::string WithoutDate(std::string message) {
    const std::size_t at = message.find("Date: ");
    if (at == 0) message.replace(0, message.find("\r\n"), "Date: <sent>");
    return message;
}

}  // namespace tarvell::smtp::test
