#include <unistd.h>

#include "manager_fixture.h"
#include "util/time_of_day.h"

namespace {

// 2026-12-06 13:05:00 UTC (tests run with TZ=UTC).
constexpr time_t kAfterNoon = 1796562300;

TEST_F(ManagerTest, SettingsFormClampsSavesAndLoadsThePageItNames) {
    Start();  // no configuration file yet: the defaults are written
    uint16_t port = 0;
    FileDescriptor server = BindLoopback(SOCK_STREAM, port);
    const std::string home = "http://127.0.0.1:" + std::to_string(port) + "/home";
    manager->ApplyDisplaySettings("CONTRAST=20;;BACKLIGHT;FOO=1;BRIGHTNESS=3;sLoadPage=" + home +
                                  ";sDivname=D2");
    EXPECT_EQ(Panel().contrast, 15);
    EXPECT_EQ(Panel().brightness, 3);
    EXPECT_EQ(ReadFile(Config()),
              "BACKLIGHT=60\nCONTRAST=15\nBRIGHTNESS=3\nTIMEFORMAT=%H%M\nDATEFORMAT=%d%m%y\n");
    EXPECT_TRUE(log.Has(5, "Displayeinstellung \"FOO\" unbekannt."));
    const std::string& request = manager->GetPendingRequest();
    EXPECT_EQ(request.rfind("GET /home?", 0), 0u);
    EXPECT_NE(request.find("sContrast=15&sBacklight=60&sBrightness=3&sDivname=D2"),
              std::string::npos);

    // Chosen on a page without a clock, the format is still kept.
    ASSERT_TRUE(manager->ShowGeneratedPage("<nivoml><head><goto div=\"D\"/></head><body>"
                                           "<div name=\"D\">No clock</div></body></nivoml>"));
    manager->ApplyDisplaySettings("TIMEFORMAT=%I%M;DATEFORMAT=%y%m%d");
    EXPECT_NE(ReadFile(Config()).find("TIMEFORMAT=%I%M\nDATEFORMAT=%y%m%d\n"), std::string::npos);
}

TEST_F(ManagerTest, UnreadableConfigurationIsNeverReplaced) {
    ASSERT_EQ(::symlink("nivo_lcd.conf", Config().c_str()), 0);  // a loop: open fails
    Start();
    manager->ApplyDisplaySetting("CONTRAST", "9");
    EXPECT_EQ(Panel().contrast, 9);
    struct stat info {};
    EXPECT_EQ(::lstat(Config().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST_F(ManagerTest, RefusedFormatsFallBackToDefaultAtStartAndToStoredValueInForm) {
    dir.Write("nivo_lcd.conf", "TIMEFORMAT=%I%M\nDATEFORMAT=%m%d%y\n");
    Start();
    EXPECT_NE(ReadFile(Config()).find("TIMEFORMAT=%I%M\nDATEFORMAT=%d%m%y\n"), std::string::npos);
    EXPECT_TRUE(
        log.Has(4, "Displayeinstellung DATEFORMAT=\"%m%d%y\" ung\xfcltig, nehme \"%d%m%y\"."));

    FakeWallClock clock(kAfterNoon);
    manager->ApplyDisplaySetting("TIMEFORMAT", "%H:%M");
    EXPECT_EQ(Panel().Segments().substr(0, 4), "0105");  // still the stored 12-hour clock
    EXPECT_NE(ReadFile(Config()).find("TIMEFORMAT=%I%M\n"), std::string::npos);

    // A setter on show turns the live clock off: that "" is no format to store.
    ASSERT_TRUE(manager->ShowGeneratedPage(
        "<nivoml><head><goto div=\"D\"/></head><body><div name=\"D\"><settime inccursorkey=\"1\" "
        "incdatakey=\"2\" format=\"%H%M\" goto=\"#D\"/></div></body></nivoml>"));
    dir.Write("nivo_lcd.conf", "TIMEFORMAT=junk\n");
    manager->ApplyDisplaySetting("TIMEFORMAT", "%H:%M");
    EXPECT_EQ(ReadFile(Config()), "TIMEFORMAT=junk\n");
}

TEST_F(ManagerTest, SignalReloadAppliesTheEditedFileWithoutFiringTheTimers) {
    Start();
    dir.Write("nivo_lcd.conf", "CONTRAST=3\n");
    manager->ReloadDisplaySettings();
    EXPECT_EQ(Panel().contrast, 3);
    EXPECT_GT(TimerTarget::s_timerQueue.TimeBeforeNextDue(), 1);  // the page's timers still run
}

TEST_F(ManagerTest, ClockIsSetToTheWantedLocalTimeOnlyWhenThatTimeExists) {
    Start();
    FakeWallClock clock(kAfterNoon);
    EXPECT_EQ(manager->SetSystemClock("-1", "-1", "-1", "07", "05"), 0);
    EXPECT_EQ(DateArgs(), "-s @1796540700\n");  // today, 07:05
    EXPECT_EQ(manager->SetSystemClock("24", "12", "99", "23", "59"), 0);
    EXPECT_EQ(DateArgs(), "-s @946079940\n");

    EXPECT_EQ(manager->SetSystemClock("31", "02", "25", "10", "00"), -1);
    EXPECT_TRUE(log.Has(5, "NIVO_Manager::SetSystemClock: 31.02.25 10:00 ung\xfcltig"));
    EXPECT_EQ(DateArgs(), "-s @946079940\n");  // date not run

    dir.Write("date.status", "3");
    EXPECT_LT(manager->SetSystemClock("01", "01", "30", "00", "00"), 0);
    EXPECT_TRUE(log.Has(5, "date -s @1893456000"));
}

}  // namespace
