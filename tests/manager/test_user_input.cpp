// What the user entered or is waiting for is never lost to a settings change, a
// failed request, a counter's tick or a server that keeps its connection open.
#include "manager_fixture.h"
#include "util/time_of_day.h"

namespace {

constexpr time_t kAfterNoon = 1796562300;  // 2026-12-06 13:05:00 UTC
const std::string kSetter =
    "<div name=\"T\">Time<settime format=\"%H%M\" inccursorkey=\"1\" incdatakey=\"2\" "
    "goto=\"#T\"/></div>";

const std::string kPage =
    "<nivoml><head><goto div=\"A\"/></head><body><div name=\"A\">Fast</div></body></nivoml>";

TEST_F(ManagerTest, FailedSubmissionKeepsEntriesAndFocusWhenTheMessageEnds) {
    Start();
    Show("F", "<div name=\"F\">Pin<form method=\"get\" action=\"http://127.0.0.1:1/f.cgi\">"
              "<input type=\"text\" name=\"p\" value=\"12\" mask=\"1,1\"/>"
              "<input type=\"text\" name=\"q\" value=\"5\" mask=\"1\"/>"
              "<input type=\"incdata\" key=\"2\"/><input type=\"inccursor\" key=\"1\"/>"
              "<input type=\"submit\" key=\"4\"/></form></div>");
    Key(1);
    Key(2);  // the second digit of p
    Key(4);  // nobody listens on port 1
    EXPECT_EQ(Panel().Line(0), "Retry...   ");
    Elapse(2000);
    EXPECT_EQ(Panel().Line(0), "Pin135     ");
    EXPECT_EQ(Panel().cursor, 4);
    Key(1);  // the focus moves on from where it was
    Key(2);
    EXPECT_EQ(Panel().Line(0), "Pin136     ");
}

// "Retry..." over the base page's counter: ServerDownGivesTheErrorPage...
TEST_F(ManagerTest, CountersDoNotCoverPleaseWait) {
    FakeWallClock clock(kAfterNoon);
    Start();
    Show("C", "<div name=\"C\">Wait<skip/><counter from=\"9\" to=\"0\"/></div>", "",
         " alarmpage=\"" + Url("/alarm") + "\"");
    Notify("ALARM");
    Serve("");  // a slow server
    Elapse(2000);
    EXPECT_EQ(Panel().Line(0), "Please     ");
    clock.Advance(1);
    Elapse(1000);
    EXPECT_EQ(Panel().Line(0), "Please     ");
}

TEST_F(ManagerTest, AnswerWithContentLengthIsCompleteWithoutTheServerClosing) {
    Start();
    const std::string& page = kPage;
    const std::string header = "HTTP/1.0 200 OK\r\nContent-length: ";
    manager->LoadNivomlPage(Url("/a"), "");
    Serve(header + std::to_string(page.size()) + "\r\n\r\n" + page, true);
    EXPECT_EQ(Panel().Line(0), "Fast       ");
    EXPECT_EQ(manager->GetPendingRequest(), "");

    manager->LoadNivomlPage(Url("/b"), "");  // more than announced: rejected
    Serve(header + std::to_string(page.size() - 1) + "\r\n\r\n" + page, true);
    EXPECT_TRUE(log.Has(5, "TCP_CHANNEL::Receive: more than the " +
                               std::to_string(page.size() - 1) + " bytes of Content-Length"));
    EXPECT_EQ(log.Count("errcount_thisMsg: 1"), 1);
    Elapse(1000);  // its second attempt, rejected too: given up
    Serve(header + std::to_string(page.size() - 1) + "\r\n\r\n" + page, true);
    EXPECT_EQ(manager->GetPendingRequest(), "");

    manager->LoadNivomlPage(Url("/c"), "");  // closed before all of it came: rejected too
    Serve(header + std::to_string(page.size() + 1) + "\r\n\r\n" + page);
    EXPECT_TRUE(log.Has(5, "TCP_CHANNEL::Receive: closed before the " +
                               std::to_string(page.size() + 1) + " bytes of Content-Length"));
}

}  // namespace
