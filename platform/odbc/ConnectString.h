// Connection texts of the ODBC driver manager, read strictly and written so that every reader
// takes them alike.
//
// The driver manager and the drivers read a connection text each with their own parser: the
// driver manager skips any white space (line feeds included) before a key and goes on after a
// closing brace without looking for ";", a driver may not know braces at all and split at every
// ";". A text is therefore taken apart here only when it has one plain reading, and a text is
// only written in a form that all of them read the same way; anything else is refused with the
// reason, which never quotes a value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell::odbc {

struct ConnectPair {
    std::string key;    // without surrounding blanks, in the letter case given
    std::string value;  // braces taken off, "}}" read as "}"; plain values without end blanks

    bool operator==(const ConnectPair&) const = default;
};

// The pairs of `text` in their order, or nullopt with the reason in `why`. Refused: any byte
// below 0x20 or 0x7f; a piece without "=" or with an empty key; a key holding a brace; a value
// in braces without its closing brace, or followed by anything but blanks before ";"; a key
// given twice (letter case aside), as readers differ on which one counts. A brace inside a
// value that does not open with one is taken as it stands, as every reader does. Blanks (space,
// tab) around keys and values and empty pieces (";;") are dropped.
std::optional<std::vector<ConnectPair>> ParseConnectString(std::string_view text, std::string* why);

// "key=value;" for each pair, or nullopt with the reason in `why` when a pair cannot be written
// so that the driver manager and a driver that splits at every ";" read the same: a key that
// is empty or holds "=", ";", a brace or a blank at an end; a value holding ";" or a control
// byte, opening with "{", or with a blank at an end. No braces are written.
std::optional<std::string> FormatConnectString(const std::vector<ConnectPair>& pairs,
                                               std::string* why);

}  // namespace tarvell::odbc
