#include <algorithm>

#include "markup/nivoml_a.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_head.h"
#include "page_fixture.h"

namespace {

using TimerTest = PageTest;

unsigned long IdOf(const NIVOML_BASEOBJ& element) {
    return CookieTimerId(element.GetId());
}

TEST_F(TimerTest, AutoswitchStartsOnDrawRestartsOnRedrawAndIsClaimedByItsLink) {
    ASSERT_TRUE(
        Load(Page("<goto div=\"A\"/><a href=\"/next\" key=\"7\" autoswitch=\"1500\"/>"
                  "<a href=\"/plain\" key=\"1\"/>",
                  "<div name=\"A\">x</div>")));
    EXPECT_TRUE(host.armed.empty());  // building starts nothing
    const NIVOML_BASEOBJ& link = *Root().GetHead()->Children()[1];
    const unsigned long id = IdOf(link);
    Show();
    ASSERT_EQ(host.armed.count(id), 1u);
    EXPECT_EQ(host.armed[id], 1500);
    EXPECT_EQ(host.armed.size(), 1u);  // the plain link runs no timer
    Show();
    EXPECT_EQ(host.restarts.size(), 2u);

    std::string target = "unchanged";
    int key = -1;
    EXPECT_FALSE(Root().OnTimer(id + 1, target, key));
    EXPECT_EQ(target, "unchanged");
    EXPECT_TRUE(Root().OnTimer(id, target, key));
    EXPECT_EQ(target, "/next");
    EXPECT_EQ(key, 7);
}

TEST_F(TimerTest, OnlyTheCurrentDivRunsTimersButDestructionStopsThemAll) {
    ASSERT_TRUE(Load(Page("<goto div=\"A\"/>",
                          "<div name=\"A\"><a href=\"/a\" key=\"1\" autoswitch=\"200\"/>"
                          "<counter from=\"1\" to=\"3\"/></div>"
                          "<div name=\"B\"><a href=\"/b\" key=\"1\" autoswitch=\"300\"/>"
                          "<counter from=\"3\" to=\"1\"/></div>")));
    auto& divs = Root().GetBody()->Children();
    auto& a = static_cast<NIVOML_DIV&>(*divs[0]).Children();
    auto& b = static_cast<NIVOML_DIV&>(*divs[1]).Children();
    Show();
    EXPECT_EQ(host.armed.size(), 2u);
    EXPECT_EQ(host.armed[IdOf(*a[0])], 200);
    EXPECT_EQ(host.armed[IdOf(*a[1])], 1000);

    // Timers of a div that is not current still find their owner.
    std::string target;
    int key = -1;
    host.currentDiv = "A";
    EXPECT_TRUE(Root().OnTimer(IdOf(*b[1]), target, key));
    EXPECT_EQ(target, "#A");
    EXPECT_EQ(key, 0);

    Root().ShowDiv("B");
    Show();
    EXPECT_EQ(host.armed.size(), 4u);
    std::vector<unsigned long> all = {IdOf(*a[0]), IdOf(*a[1]), IdOf(*b[0]), IdOf(*b[1])};
    document.reset();
    EXPECT_TRUE(host.armed.empty());
    for (unsigned long id : all) {
        EXPECT_NE(std::find(host.stops.begin(), host.stops.end(), id), host.stops.end());
    }
}

// Under the page checker no manager is there: timers must be skipped, not crash.
TEST_F(TimerTest, PagesWithTimersDrawAndDieWithoutAHost) {
    ElementHost::s_instance = nullptr;
    ASSERT_TRUE(
        Load(Screen("<a href=\"/a\" key=\"1\" autoswitch=\"5\"/><counter from=\"0\" to=\"2\"/>")));
    Show();
    std::string target;
    int key = -1;
    const auto& counter = *static_cast<NIVOML_DIV&>(*Root().GetBody()->Children()[0]).Children()[1];
    EXPECT_TRUE(Root().OnTimer(CookieTimerId(counter.GetId()), target, key));
    EXPECT_EQ(target, "#");
    document.reset();
}

}  // namespace
