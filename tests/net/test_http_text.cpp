#include <gtest/gtest.h>

#include "net/http_text.h"

namespace {

struct UrlParts {
    std::string scheme = "stale";
    std::string host = "stale";
    uint16_t port = 1;
    std::string path = "stale";
    std::string query = "stale";
};

UrlParts Split(const std::string& url, bool* ok = nullptr) {
    UrlParts parts;
    const bool result =
        SplitUrl(url, parts.scheme, parts.host, parts.port, parts.path, parts.query);
    if (ok != nullptr) *ok = result;
    return parts;
}

TEST(SplitUrlTest, FullUrlGivesAllFiveParts) {
    UrlParts parts = Split("http://127.0.0.1:8080/config/a.cgi?x=1&y=2");
    EXPECT_EQ(parts.scheme, "http");
    EXPECT_EQ(parts.host, "127.0.0.1");
    EXPECT_EQ(parts.port, 8080);
    EXPECT_EQ(parts.path, "/config/a.cgi");
    EXPECT_EQ(parts.query, "?x=1&y=2");
}

TEST(SplitUrlTest, PathOnlyLeavesTheOtherPartsEmpty) {
    UrlParts parts = Split("/nivo_index.nivoml");
    EXPECT_EQ(parts.scheme, "");
    EXPECT_EQ(parts.host, "");
    EXPECT_EQ(parts.port, 0);
    EXPECT_EQ(parts.path, "/nivo_index.nivoml");
    EXPECT_EQ(parts.query, "");

    parts = Split("");
    EXPECT_EQ(parts.scheme + parts.host + parts.path + parts.query, "");
    EXPECT_EQ(parts.port, 0);
}

TEST(SplitUrlTest, PortWithoutPathStaysInThePath) {
    UrlParts parts = Split("http://127.0.0.1:81");
    EXPECT_EQ(parts.host, "127.0.0.1");
    EXPECT_EQ(parts.port, 0);
    EXPECT_EQ(parts.path, ":81");
}

TEST(SplitUrlTest, HostWithoutPortOrSchemeAndPortsOutsideTheRangeAreRefused) {
    bool ok = false;
    UrlParts parts = Split("localhost/cgi/set.cgi", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parts.scheme, "");
    EXPECT_EQ(parts.host, "localhost");
    EXPECT_EQ(parts.port, 0);
    EXPECT_EQ(parts.path, "/cgi/set.cgi");

    for (const char* url : {"http://h:65617/p", "http://h:0/p", "http://h:-80/p", "http://h:x/p"}) {
        parts = Split(url, &ok);
        EXPECT_FALSE(ok) << url;
        EXPECT_EQ(parts.port, 0) << url;  // never wrapped onto another port
        EXPECT_EQ(parts.path, "/p") << url;
    }
    parts = Split("http://h:65535/p", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parts.port, 65535);
    parts = Split("http://h:1/p", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parts.port, 1);
    parts = Split("http://h:/p", &ok);  // an empty port is no port
    EXPECT_TRUE(ok);
    EXPECT_EQ(parts.port, 0);
    EXPECT_EQ(parts.path, "/p");
}

TEST(SplitUrlTest, TextWithoutSeparatorsIsAPathAndTheQueryStartsAtTheFirstQuestionMark) {
    UrlParts parts = Split("page.nivoml?a=1?b=2");
    EXPECT_EQ(parts.host, "");
    EXPECT_EQ(parts.path, "page.nivoml");
    EXPECT_EQ(parts.query, "?a=1?b=2");

    parts = Split("https://example/?");
    EXPECT_EQ(parts.scheme, "https");
    EXPECT_EQ(parts.path, "/");
    EXPECT_EQ(parts.query, "?");
}

struct Status {
    std::string version = "v", code = "c", reason = "r";
};

Status Parse(const std::string& answer) {
    Status status;
    ParseStatusLine(answer, status.version, status.code, status.reason);
    return status;
}

TEST(HttpTextTest, GetRequestEscapesOnlyTheExtraTextAndRefusesControlBytes) {
    EXPECT_EQ(BuildGetRequest("/a.cgi?x=1 z", "&sDivname=\"m y\""),
              "GET /a.cgi?x=1 z&sDivname=%22m+y%22 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(BuildGetRequest("", ""), "GET  HTTP/1.0\r\n\r\n");
    EXPECT_EQ(BuildGetRequest("/a\r\nHost: x", ""), "");
    EXPECT_EQ(BuildGetRequest("/a", std::string("&n=\0", 4)), "");
    EXPECT_EQ(BuildGetRequest("/a\x7f", ""), "");
    EXPECT_FALSE(HasControlByte("/\xe4 ~"));
    EXPECT_TRUE(HasControlByte("\x1f"));
}

TEST(HttpTextTest, StatusLineIsReadAtFixedColumnsAndOnlyACarriageReturnIsDropped) {
    Status s = Parse("HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\n");
    EXPECT_EQ(s.version, "HTTP/1.0");
    EXPECT_EQ(s.code, "404");
    EXPECT_EQ(s.reason, "Not Found");
    EXPECT_EQ(Parse("HTTP/1.0 200 OK!\nx").reason, "OK!");  // bare LF: nothing dropped
    EXPECT_EQ(Parse("HTTP/1.0 200 OK\r\n").reason, "OK");
    EXPECT_EQ(Parse("HTTP/1.0 200 \nabcdef").reason, "");  // LF at column 13
    EXPECT_EQ(Parse("HTTP/1.0 200 \r\nabcde").reason, "");
    EXPECT_EQ(Parse("HTTP/1.0 200 ab").reason, "ab");  // 15 chars, no LF
    EXPECT_EQ(Parse("HTTP/1.0 200 a\n\n").reason, "a");
    s = Parse("HTTP/1.0 200 a");  // 14 chars: left alone
    EXPECT_EQ(s.version + s.code + s.reason, "vcr");

    EXPECT_FALSE(IsSuccessResponse("HTTP/1.0 404 Not Found\r\n"));
    EXPECT_TRUE(IsSuccessResponse("HTTP/1.1 204 No Content\r\n"));
    EXPECT_TRUE(IsSuccessResponse("HTTP/1.0 299 x\r\n"));
    EXPECT_FALSE(IsSuccessResponse("HTTP/1.0 199 x\r\n"));
    EXPECT_FALSE(IsSuccessResponse("HTTP/1.0 300 x\r\n"));
    EXPECT_FALSE(IsSuccessResponse("HTTP/1.0 200"));
}

TEST(HttpTextTest, DocumentRunsFromTheFirstOpeningToTheLastClosingTag) {
    EXPECT_EQ(ExtractNivoml("HTTP/1.0 200 OK\r\n\r\n<?xml?><nivoml>a</nivoml>\n"),
              "<nivoml>a</nivoml>");
    EXPECT_EQ(ExtractNivoml("<nivoml>1</nivoml> <nivoml>2</nivoml>x"),
              "<nivoml>1</nivoml> <nivoml>2</nivoml>");
    EXPECT_EQ(ExtractNivoml("</nivoml> <nivoml>"), "");
    EXPECT_EQ(ExtractNivoml("<nivoml>"), "");
    EXPECT_EQ(ExtractNivoml(""), "");
}

}  // namespace
