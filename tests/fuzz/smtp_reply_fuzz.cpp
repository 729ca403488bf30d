// libFuzzer target for what the mail client reads from a server: replies in pieces of any size,
// keywords, the log form of a reply, Base64 challenges and DIGEST-MD5 directives. Built and run
// by tests/fuzz/run.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/smtp/Base64.h"
#include "platform/smtp/SmtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvell::smtp;
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] % 32;  // the first byte chooses the read size
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    SmtpReplyParser parser;
    std::size_t taken = 0;
    for (std::string_view rest = input; !rest.empty();) {
        const std::string_view part = rest.substr(0, piece);
        rest.remove_prefix(part.size());
        if (!parser.Feed(part)) break;
        while (auto reply = parser.Next()) {
            if (reply->code < 0 || reply->code > 999 || reply->text.empty()) __builtin_trap();
            taken += reply->text.size();
            (void)ReplyContains(reply->text, "AUTH");
            (void)ReplyContains(reply->text, "STARTTLS");
            (void)ReplyForLog(reply->text);
        }
        if (parser.Pending() > SmtpReplyParser::kMaxReplyBytes + piece) __builtin_trap();
    }
    if (!parser.Failed() && taken + parser.Pending() != input.size()) __builtin_trap();

    const std::string decoded = Base64Decode(input);
    if (Base64Decode(Base64Encode(decoded)) != decoded) __builtin_trap();
    (void)ParseDigestChallenge(input);
    (void)ParseDigestChallenge(decoded);
    return 0;
}
