// The logon account of the service's remote actions: empty (the service's own account) or
// "<user>/<domain>/<password>/", each part non-empty and free of "/".
#pragma once

#include <string>

namespace tarvell {

struct LogonParts {
    std::string user, domain, password;
};

// The three parts, each cut at the next "/" (a missing part is empty).
LogonParts ParseLogon(const std::string& account);
std::string FormatLogon(const LogonParts& parts);

struct LogonChoice {
    bool specific = false;
    std::string user, domain, password, verify;
};

struct LogonVerdict {
    unsigned message = 0;  // 0: accepted, else the string id to show (the dialog stays open)
    std::string account;   // the account string when accepted
};

// The OK rules: the service's own account needs the service to run under a user account
// (20033); a specific account needs three non-empty parts without "/" and the password twice
// alike, byte for byte (20032).
LogonVerdict ConfirmLogon(const LogonChoice& choice, bool serviceUserAccount);

}  // namespace tarvell
