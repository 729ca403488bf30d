// The request-line reader, the request-line grammar, the query look-up and the response bytes.
#include <gtest/gtest.h>

#include <random>

#include "platform/http/HttpRequest.h"
#include "platform/http/HttpResponse.h"

namespace tarvell::http {
namespace {

// ---- reading up to the line end

TEST(RequestLineReader, ALineSplitAcrossPacketsIsJoined) {
    const std::string request = "GET /?a=1 HTTP/1.0\r\nHost: x\r\n\r\n";
    RequestLineReader reader(2050);
    for (std::size_t i = 0; i + 1 < request.find('\n'); ++i)
        EXPECT_EQ(reader.Feed(request.substr(i, 1)), LineStatus::NeedMore) << i;
    EXPECT_EQ(reader.Feed(request.substr(request.find('\n') - 1)), LineStatus::Complete);
    EXPECT_EQ(reader.Line(), "GET /?a=1 HTTP/1.0");
    EXPECT_EQ(reader.Feed("more"), LineStatus::Complete);
    EXPECT_EQ(reader.Line(), "GET /?a=1 HTTP/1.0");
}

TEST(RequestLineReader, TheBoundCountsTheLineEnd) {
    struct Case {
        std::string bytes;
        LineStatus status;
        std::size_t lineChars;
    } cases[] = {
        {std::string(2049, 'a') + "\n", LineStatus::Complete, 2049},
        {std::string(2048, 'a') + "\r\n", LineStatus::Complete, 2048},
        {std::string(2050, 'a'), LineStatus::TooLong, 0},
        {std::string(2050, 'a') + "\n", LineStatus::TooLong, 0},
        {std::string(10, 'a'), LineStatus::NeedMore, 0},
        {"\n", LineStatus::Complete, 0},
        {"a\rb\n", LineStatus::Complete, 3},  // a bare CR is no line end (the parser refuses it)
    };
    for (const Case& c : cases) {
        RequestLineReader reader(2050);
        EXPECT_EQ(reader.Feed(c.bytes), c.status) << c.bytes.size();
        EXPECT_EQ(reader.Line().size(), c.lineChars) << c.bytes.size();
    }
    RequestLineReader reader(2050);
    reader.Feed(std::string(2000, 'a'));
    EXPECT_EQ(reader.Room(), 50u);
}

// ---- the request line

TEST(RequestLine, OnlyTheExactGrammarIsAccepted) {
    const std::string good[] = {"GET / HTTP/1.0", "POST /?Prog=Tarvell&Event=S1/3 HTTP/1.1",
                                "get /x HTTP/1.1", "GET /?a HTTP/1.0"};
    for (const std::string& line : good) EXPECT_TRUE(ParseRequestLine(line)) << line;
    const std::string bad[] = {
        "",
        "GET",
        "GET /",  // HTTP/0.9: no version
        "GET / HTTP/2.0",
        "GET / HTTP/1.10",
        "GET / http/1.1",
        "GET  / HTTP/1.0",  // doubled blank
        "GET / HTTP/1.0 ",
        " GET / HTTP/1.0",
        "GET\t/ HTTP/1.0",
        "GET http://host/ HTTP/1.0",  // absolute form
        "GET * HTTP/1.1",
        "GET /a b HTTP/1.0",
        "GET /a\rb HTTP/1.0",
        std::string("GET /a\0b HTTP/1.0", 17),
        "GET /\xe9 HTTP/1.0",
        "Position: /?Prog=Tarvell HTTP/1.0",  // a header is no request line
        "G3T / HTTP/1.0",
        std::string(17, 'G') + " / HTTP/1.0",
    };
    for (const std::string& line : bad) {
        std::string error;
        EXPECT_FALSE(ParseRequestLine(line, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(RequestLine, TheTargetSplitsAtTheFirstQuestionMark) {
    const auto line = ParseRequestLine("POST /p?a=1?b=2 HTTP/1.1");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->method, "POST");
    EXPECT_EQ(line->target, "/p?a=1?b=2");
    EXPECT_EQ(line->path, "/p");
    EXPECT_TRUE(line->hasQuery);
    EXPECT_EQ(line->query, "a=1?b=2");
    EXPECT_EQ(line->minorVersion, 1);
    const auto plain = ParseRequestLine("GET / HTTP/1.0");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->hasQuery);
    EXPECT_EQ(plain->minorVersion, 0);
}

// ---- query parameters

TEST(QueryParameter, NamesMatchExactlyButForLetterCase) {
    struct Case {
        const char* query;
        const char* name;
        std::optional<std::string> value;
    } cases[] = {
        {"Prog=Tarvell&Event=S1/3", "Prog", "Tarvell"},
        {"prog=Tarvell", "Prog", "Tarvell"},
        {"Prog2=Tarvell", "Prog", std::nullopt},  // no prefix match
        {"Prog=A&Prog2=B", "Prog", "A"},
        {"Pro=A", "Prog", std::nullopt},
        {"Prog=A&Prog=B", "Prog", "B"},  // the last wins
        {"Prog", "Prog", ""},            // no "=": empty
        {"Prog&Event=", "Event", ""},
        {"Prog&Event=", "Prog", ""},
        {"Prog==x", "Prog", "=x"},
        {"&&Prog=1&&", "Prog", "1"},
        {"", "Prog", std::nullopt},
        {"=x", "", std::nullopt},
        {"a=%3B", "a", "%3B"},  // not decoded
        {"Event=S1/3;None;x", "Event", "S1/3;None;x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QueryParameter(c.query, c.name), c.value) << c.query << " " << c.name;
}

// Random lines never break the parser, and what it accepts is the exact grammar.
TEST(RequestLine, RandomLinesParseOrAreRefusedConsistently) {
    std::mt19937 random(20261209);
    const std::string alphabet = "GETPOSgetpos /?&=HTTP1.0\r\n\t;%\x01\xff";
    std::size_t accepted = 0;
    for (int round = 0; round < 100'000; ++round) {
        std::string line;
        const int length = static_cast<int>(random() % 40);
        if (random() % 2) line = (random() % 2 ? "GET /" : "POST /?");
        for (int i = 0; i < length; ++i) line += alphabet[random() % alphabet.size()];
        if (random() % 2) line += random() % 2 ? " HTTP/1.0" : " HTTP/1.1";
        const auto parsed = ParseRequestLine(line);
        if (!parsed) continue;
        ++accepted;
        ASSERT_EQ(parsed->method + " " + parsed->target + " HTTP/1." +
                      std::to_string(parsed->minorVersion),
                  line);
        ASSERT_EQ(parsed->target.front(), '/');
        for (const char* name : {"a", "Prog", "="}) {
            const auto value = QueryParameter(parsed->query, name);
            if (value) {
                ASSERT_EQ(value->find('&'), std::string::npos);
            }
        }
    }
    EXPECT_GT(accepted, 100u);
}

// ---- responses

TEST(Response, HeadersThatBrowsersAndCurlAccept) {
    EXPECT_EQ(FormatResponse(200, "text/plain", "Request OK."),
              "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\nConnection: "
              "close\r\n\r\n"
              "Request OK.");
    EXPECT_EQ(FormatResponse(405, "text/plain", "", "Allow: GET\r\n"),
              "HTTP/1.0 405 Method Not Allowed\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n"
              "Connection: close\r\nAllow: GET\r\n\r\n");
    EXPECT_EQ(ReasonPhrase(403), "Forbidden");
    EXPECT_EQ(ReasonPhrase(599), "Error");
}

TEST(Response, HtmlEscapingCoversMarkupAndQuotes) {
    EXPECT_EQ(EscapeHtml("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d&#39;");
    EXPECT_EQ(EscapeHtml("plain/1"), "plain/1");
}

}  // namespace
}  // namespace tarvell::http
