#include <gtest/gtest.h>

#include "net/http_text.h"

namespace {

TEST(HttpTextTest, UrlsSplitIntoFivePartsAndPortsOutsideTheRangeAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8080/cfg/a.cgi?x=1&y=2", "http|127.0.0.1|8080|/cfg/a.cgi|?x=1&y=2|1"},
        {"/nivo_index.nivoml", "||0|/nivo_index.nivoml||1"},
        {"", "||0|||1"},
        {"http://127.0.0.1:81", "http|127.0.0.1|0|:81||1"},  // a port counts only before a path
        {"localhost/cgi/set.cgi", "|localhost|0|/cgi/set.cgi||1"},
        {"page.nivoml?a=1?b=2", "||0|page.nivoml|?a=1?b=2|1"},
        {"https://example/?", "https|example|0|/|?|1"},
        {"http://h:65535/p", "http|h|65535|/p||1"},
        {"http://h:1/p", "http|h|1|/p||1"},
        {"http://h:/p", "http|h|0|/p||1"},
        {"http://h:65617/p", "http|h|0|/p||0"},  // never wrapped onto another port
        {"http://h:0/p", "http|h|0|/p||0"},
        {"http://h:-80/p", "http|h|0|/p||0"},
    };
    for (const auto& [url, parts] : cases) {
        std::string scheme = "s", host = "h", path = "p", query = "q";  // stale parts
        uint16_t port = 7;
        const bool ok = SplitUrl(url, scheme, host, port, path, query);
        EXPECT_EQ(scheme + "|" + host + "|" + std::to_string(port) + "|" + path + "|" + query +
                      "|" + std::to_string(ok),
                  parts);
    }
}

TEST(HttpTextTest, GetRequestEncodesTheExtraTextAndRefusesControlBytes) {
    EXPECT_EQ(BuildGetRequest("/a.cgi?x=1 z\xe4~", "&sDivname=\"m y\""),
              "GET /a.cgi?x=1 z\xe4~&sDivname=%22m+y%22 HTTP/1.0\r\n\r\n");
    for (const auto& [target, extra] : {std::pair<std::string, std::string>{"/a\r\nHost: x", ""},
                                        {"/a", std::string("&n=\0", 4)},
                                        {"/a\x7f", ""},
                                        {"/a", "&n=\x1f"}}) {
        EXPECT_EQ(BuildGetRequest(target, extra), "") << target << extra;
    }
}

TEST(HttpTextTest, StatusLineIsReadAtFixedColumnsAndOnlyACarriageReturnIsDropped) {
    const std::pair<const char*, const char*> cases[] = {
        {"HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\n", "HTTP/1.0|404|Not Found"},
        {"HTTP/1.0 200 OK!\nx", "HTTP/1.0|200|OK!"},  // bare LF: nothing dropped
        {"HTTP/1.0 200 \nabcdef", "HTTP/1.0|200|"},   // LF at column 13
        {"HTTP/1.0 200 \r\nabcde", "HTTP/1.0|200|"},
        {"HTTP/1.0 200 ab", "HTTP/1.0|200|ab"},  // 15 characters, no LF
        {"HTTP/1.0 200 a", "v|c|r"},             // 14 characters: left alone
    };
    for (const auto& [answer, fields] : cases) {
        std::string version = "v", code = "c", reason = "r";
        ParseStatusLine(answer, version, code, reason);
        EXPECT_EQ(version + "|" + code + "|" + reason, fields) << answer;
    }
    std::string success;
    for (const char* answer : {"HTTP/1.0 199 x\r\n", "HTTP/1.0 200 OK\r\n", "HTTP/1.1 299 x\r\n",
                               "HTTP/1.0 300 x\r\n", "HTTP/1.0 200"}) {
        success += IsSuccessResponse(answer) ? '1' : '0';
    }
    EXPECT_EQ(success, "01100");

    EXPECT_EQ(ExtractNivoml("HTTP/1.0 200 OK\r\n\r\n<?xml?><nivoml>1</nivoml> <nivoml>2</nivoml>x"),
              "<nivoml>1</nivoml> <nivoml>2</nivoml>");
    EXPECT_EQ(ExtractNivoml("</nivoml> <nivoml>") + ExtractNivoml("<nivoml>") + ExtractNivoml(""),
              "");
}

// Where an answer ends: at the empty line's Content-Length, else at the stream's end.
TEST(HttpText, AnswerFramingReadsTheContentLengthOfACompleteHeader) {
    const struct {
        const char* answer;
        const char* framing;  // complete|body start|length
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n", "0|0|-1"},  // header not complete yet
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nab", "1|38|5"},
        {"HTTP/1.0 200 OK\nCONTENT-LENGTH:7 \n\n", "1|35|7"},
        {"HTTP/1.0 200 OK\r\ncontent-length: \t12\r\nX: 1\r\n\r\n", "1|46|12"},
        {"HTTP/1.0 200 OK\r\nContent-Length: x5\r\n\r\n", "1|39|-1"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", "1|57|-1"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", "1|57|5"},
        {"HTTP/1.0 200 OK\r\nX-Content-Length: 5\r\n\r\nContent-Length: 1\r\n", "1|40|-1"},
        {"Content-Length: 5\r\n\r\n", "1|21|-1"},  // a status line is no header
    };
    for (const auto& [answer, framing] : cases) {
        const AnswerFraming read = ReadAnswerFraming(answer);
        EXPECT_EQ(std::to_string(read.headerComplete) + "|" + std::to_string(read.bodyStart) + "|" +
                      std::to_string(read.contentLength),
                  framing)
            << answer;
    }
    // Beyond every bound, whatever the digits.
    EXPECT_GT(ReadAnswerFraming("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n")
                  .contentLength,
              1LL << 30);
}

}  // namespace
