// Action links and their authentication. An alert mail about a blocked port carries links back
// to the service; the listener (CTarvellHttp) carries out a request only when the link's token
// was made with this installation's secret. The e-mail channel builds the links with
// MakeActionLink, the listener checks them with CheckLinkToken: both sides agree through this
// file alone.
//
// The link, every parameter in this order, values written as they are (no percent-encoding is
// needed, as every value is restricted to letters, digits and "._:-/"):
//
//   http://<service address>:49151/?Prog=Tarvell&Event=<switch key>/<port key>
//       &Action=<None|Delete>&Key=<alert key>&Date=<DateKey>&Mac=<source MAC>&Until=<second>
//       &Auth=<token>
//
//   Prog    the product word, exactly "Tarvell".
//   Event   the event key: switch key, "/", port key; each part 1..64 characters of
//           [A-Za-z0-9._:-] (IsLinkEvent).
//   Action  "None" (unblock the port) or "Delete" (unblock it and delete the event); the
//           listener takes either word in any letter case.
//   Key     the key of the alert the mail was sent for, 1..64 characters of [A-Za-z0-9._-].
//           It makes every mail's links distinct; the listener does not look the alert up, so a
//           link stays usable after its alert has left the alert log.
//   Date    the DateKey of the event the mail was sent for (0..20 digits) and Mac its source
//   Mac     MAC (0..64 characters of [A-Za-z0-9._:/-]): the link acts on that event only, not
//           on a later one of the same port.
//   Until   the second (since 1970, UTC) after which the link is refused: kLinkLifeSeconds
//           after the mail was made.
//   Auth    the token: base64url without padding (43 characters) of HMAC-SHA256, keyed with the
//           installation's secret, over the values above (the action as "None" or "Delete").
//           The encoding of the values is fixed by MakeLinkToken.
//
// Links mailed before Date, Mac and Until existed carry the first three values only; their
// token covers those three. They are taken for kLinkLifeSeconds after the alert key's second,
// and only for an event recorded at or before that second.
//
// The secret: 32 random bytes in the file ActionLink.key of the service folder, mode 0600, owned
// by the service's user, made at the first start (never in Tarvell.ini, which viewers read). A
// file that is not a regular file of ours with exactly mode 0600 and 32 bytes is refused, not
// replaced: links then fail until an administrator removes it (a new secret is made at the next
// start, and the links of earlier mails stop working).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvell {

inline constexpr std::uint16_t kActionLinkPort = 49151;
inline constexpr std::size_t kLinkSecretBytes = 32;
inline constexpr const char* kLinkSecretFileName = "ActionLink.key";
inline constexpr std::string_view kLinkProgram = "Tarvell";
// Bounds of the two parts of an event key and of an alert key in a link.
inline constexpr std::size_t kMaxLinkKeyPart = 64;
// Length of a token: base64url of the 32 bytes of HMAC-SHA256, without padding.
inline constexpr std::size_t kLinkTokenChars = 43;
// How long a mailed link can be used: 7 days.
inline constexpr std::int64_t kLinkLifeSeconds = 7 * 24 * 3600;

// The event a link is made for, and its expiry.
struct LinkBinding {
    std::string dateKey;     // the event's DateKey
    std::string mac;         // the event's source MAC
    std::int64_t until = 0;  // the last second the link is taken
};

// Whether the values can be carried by a link (see Date, Mac and Until above).
bool IsLinkBinding(const LinkBinding& binding);

struct LinkSecret {
    std::array<unsigned char, kLinkSecretBytes> bytes{};
};

// Reads the secret of the installation from <serviceFolder>/ActionLink.key, making it first when
// there is none (several threads or processes may race: one file wins, all read that one).
// nullopt with the reason in `error` when the file is refused or cannot be made or read.
std::optional<LinkSecret> LoadOrCreateLinkSecret(const std::string& serviceFolder,
                                                 std::string* error = nullptr);

// The action word as links carry it: "None" or "Delete" for those words in any letter case;
// nullopt for anything else.
std::optional<std::string> CanonicalLinkAction(std::string_view action);
// Whether a text is an event key a link may carry (see Event above).
bool IsLinkEvent(std::string_view event);
// Whether a text is an alert key a link may carry (see Key above).
bool IsLinkAlertKey(std::string_view alertKey);

// The token of a link. The action is taken in its canonical letter case, so "delete" and
// "Delete" give the same token. The values are not checked here (a link with values that
// IsLinkEvent, CanonicalLinkAction or IsLinkAlertKey refuse is refused by the listener anyway).
std::string MakeLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey);
// True when `token` is the token of the three values. The comparison takes the same time
// wherever the texts differ.
bool CheckLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                    std::string_view alertKey, std::string_view token);

// The query of a link, from "?" on: "?Prog=Tarvell&Event=...&Action=...&Key=...&Auth=...".
// Empty when a value is not one a link may carry.
std::string MakeLinkQuery(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey);
// A whole link: "http://" + address + ":49151/" + MakeLinkQuery(...); empty when the query is.
// `address` is written as given (a dotted IPv4 address or a host name).
std::string MakeActionLink(std::string_view address, const LinkSecret& secret,
                           std::string_view event, std::string_view action,
                           std::string_view alertKey);

// The same for the links of this version, whose token also covers the binding. The query is
// "?Prog=...&Event=...&Action=...&Key=...&Date=...&Mac=...&Until=...&Auth=...".
std::string MakeLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey, const LinkBinding& binding);
bool CheckLinkToken(const LinkSecret& secret, std::string_view event, std::string_view action,
                    std::string_view alertKey, const LinkBinding& binding, std::string_view token);
std::string MakeLinkQuery(const LinkSecret& secret, std::string_view event, std::string_view action,
                          std::string_view alertKey, const LinkBinding& binding);
std::string MakeActionLink(std::string_view address, const LinkSecret& secret,
                           std::string_view event, std::string_view action,
                           std::string_view alertKey, const LinkBinding& binding);

// base64url (RFC 4648 section 5) without padding.
std::string Base64UrlEncode(std::string_view bytes);

}  // namespace tarvell
