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

UrlParts Split(const std::string& url) {
    UrlParts parts;
    SplitUrl(url, parts.scheme, parts.host, parts.port, parts.path, parts.query);
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

TEST(SplitUrlTest, HostWithoutPortOrSchemeAndPortInLowSixteenBits) {
    UrlParts parts = Split("localhost/cgi/set.cgi");
    EXPECT_EQ(parts.scheme, "");
    EXPECT_EQ(parts.host, "localhost");
    EXPECT_EQ(parts.port, 0);
    EXPECT_EQ(parts.path, "/cgi/set.cgi");

    EXPECT_EQ(Split("http://h:65617/p").port, 81);  // 65536 + 81
    EXPECT_EQ(Split("http://h:x/p").port, 0);
    EXPECT_EQ(Split("http://h:x/p").path, "/p");
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

}  // namespace
