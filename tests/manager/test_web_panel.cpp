// The web panel's two doors: a mirror of the register image and key presses by
// datagram, both shut unless the configuration opens them.
#include "manager_fixture.h"

namespace {

class WebPanelTest : public ManagerTest {
protected:
    void Send(const std::string& text) {
        const sockaddr_in to = Loopback(std::atoi(std::getenv("NIVO_UDP_PORT")));
        ASSERT_EQ(::sendto(BoundSocket(SOCK_DGRAM).Get(), text.data(), text.size(), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(text.size()));
        manager->WaitAndHandle(50);
    }
    static std::string Press(int key, int holdMs) {
        return "WEBPANEL\nKEY=" + std::to_string(key) + "\nHOLD=" + std::to_string(holdMs);
    }
    // What a reader of a register image sees.
    static std::string Picture(const std::string& path) {
        const std::optional<PanelPicture> picture = DecodePanelFile(path);
        if (!picture) return "none";
        std::string out = picture->Text() + "|" + picture->Segments() + "|" +
                          std::to_string(picture->cursor) + "|" + std::to_string(picture->ledByte) +
                          "|" + std::to_string(picture->contrast);
        for (const int mode : picture->symbolModes) out += std::to_string(mode);
        return out;
    }
    const std::string kPage =
        "<div name=\"A\">Screen A<a href=\"#B\" key=\"1\"/><a href=\"#L\" key=\"2\" "
        "duration=\"2\"/></div><div name=\"B\">Screen B<a href=\"#A\" key=\"1\"/></div>"
        "<div name=\"L\">Long<a href=\"#A\" key=\"1\"/></div>";
};

TEST_F(WebPanelTest, WithoutTheKeysNothingIsMirroredAndPressesAreOrdinaryNotifications) {
    Start();
    Show("A", kPage);
    Send(Press(1, 100));
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    EXPECT_EQ(::access(dir.Path("mirror").c_str(), F_OK), -1);
}

TEST_F(WebPanelTest, MirrorShowsWhatTheDeviceShowsAndRemotePressesFollowTheKeyRules) {
    const std::string mirror = dir.Path("mirror");
    dir.Write("nivo_lcd.conf", "REMOTEKEYS=yes\nMIRRORFILE=" + mirror + "\nCONTRAST=5\n");
    Start();
    Show("A", kPage);
    EXPECT_EQ(Picture(mirror), Picture(dir.Path("lcd")));

    Send(Press(1, 100));  // a tap follows the link
    EXPECT_EQ(Panel().Line(0), "Screen B   ");
    Elapse(100);
    Send(Press(1, 0) + "\n");  // a closing line feed is fine
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    EXPECT_EQ(Picture(mirror), Picture(dir.Path("lcd")));

    Elapse(1);
    Send(Press(2, 2500));  // held past the binding's two seconds
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    Elapse(1000);  // timers run meanwhile: the key is still down
    Hold(1000);
    EXPECT_EQ(Panel().Line(0), "Long       ");
    Elapse(500);

    for (const char* junk :
         {"WEBPANEL\nKEY=0\nHOLD=1", "WEBPANEL\nKEY=8\nHOLD=1", "WEBPANEL\nKEY=1\nHOLD=-5",
          "WEBPANEL\nKEY=1\nHOLD=60001", "WEBPANEL\nKEY=1", "WEBPANEL\nKEY=1\nKEY=1\nHOLD=1",
          "WEBPANEL\nKEY=255\nHOLD=99999999999"}) {
        Send(junk);
        EXPECT_TRUE(log.Has(4, "NIVO_Manager: Tastendruck ungueltig: " +
                                   EscapeForLog(junk, 256)))
            << junk;
    }
    EXPECT_EQ(Panel().Line(0), "Long       ");

    Elapse(60000);  // in the dark the first press only lights the panel
    Send(Press(1, 0));
    EXPECT_EQ(Panel().Line(0), "Long       ");
    Elapse(1);
    manager->LoadNivomlPage(Url("/slow"), "");  // nor is a key taken while a page is on its way
    Send(Press(1, 0));
    EXPECT_EQ(Panel().Line(0), "Long       ");
    EXPECT_EQ(Picture(mirror), Picture(dir.Path("lcd")));
}

}  // namespace
