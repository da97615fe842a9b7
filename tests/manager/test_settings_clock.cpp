#include "manager_fixture.h"
#include "util/time_of_day.h"

namespace {

// 2026-12-06 13:05:00 UTC (tests run with TZ=UTC).
constexpr time_t kAfterNoon = 1796562300;

TEST_F(ManagerTest, SettingsFormClampsSavesAndLoadsThePageItNames) {
    Start();  // no configuration file yet: the defaults are written
    EXPECT_EQ(ReadFile(Config()),
              "BACKLIGHT=60\nCONTRAST=7\nBRIGHTNESS=15\nTIMEFORMAT=%H%M\nDATEFORMAT=%d%m%y\n");
    // Chosen by a form on a page without a clock, the format is still kept.
    Show("D",
         "<div name=\"D\">No clock<form method=\"get\" action=\"DISPLAY_SETTING\"><input "
         "type=\"hidden\" name=\"TIMEFORMAT\" value=\"%I%M\"/><input type=\"hidden\" "
         "name=\"DATEFORMAT\" value=\"%y%m%d\"/><input type=\"submit\" key=\"1\"/></form></div>");
    Key(1);
    manager->ApplyDisplaySettings(
        "CONTRAST=-2;;BACKLIGHT;FOO=1;BRIGHTNESS=16;sLoadPage=" + Url("/home") + ";sDivname=D2");
    EXPECT_EQ(Panel().contrast, 0);
    EXPECT_EQ(Panel().brightness, 15);
    EXPECT_EQ(ReadFile(Config()),
              "BACKLIGHT=60\nCONTRAST=0\nBRIGHTNESS=15\nTIMEFORMAT=%I%M\nDATEFORMAT=%y%m%d\n");
    EXPECT_TRUE(log.Has(5, "Displayeinstellung \"FOO\" unbekannt."));
    EXPECT_EQ(Pending(), "GET /home?sContrast=0&sBacklight=60&sBrightness=15&sDivname=D2");
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

TEST_F(ManagerTest, SignalReloadAppliesTheEditedFileWithoutFiringTheTimers) {
    FakeWallClock clock(kAfterNoon);
    Start();
    EXPECT_EQ(Panel().Segments().substr(0, 4), "1305");
    dir.Write("nivo_lcd.conf", "CONTRAST=3\nTIMEFORMAT=%I%M\n");
    manager->ReloadDisplaySettings();
    EXPECT_EQ(Panel().contrast, 3);
    EXPECT_EQ(Panel().Segments().substr(0, 4), "0105");
    EXPECT_GT(TimerTarget::s_timerQueue.TimeBeforeNextDue(), 1);  // the page's timers still run
}

TEST_F(ManagerTest, LiveClockTurnsOverOnPagesWithOnlyATimeOrOnlyADate) {
    FakeWallClock clock(kAfterNoon + 39240);  // 23:59:00
    Start();
    Show("T", "<div name=\"T\">Time</div>", "<time format=\"%H%M\"/>");
    EXPECT_EQ(Panel().Segments(), "2359      ");
    clock.Advance(60);
    Elapse(60000);
    EXPECT_EQ(Panel().Segments(), "0000      ");
    Show("D", "<div name=\"D\">Date</div>", "<date format=\"%d%m%y\"/>");
    clock.Advance(86400);
    Elapse(60000);
    EXPECT_EQ(Panel().Segments(), "    081226");
}

TEST_F(ManagerTest, SettersAndTheClockSetTheWantedLocalTimeOnlyWhenItExists) {
    FakeWallClock clock(kAfterNoon);
    Start();
    int flushMask = 0;
    Show("T",
         "<div name=\"T\">Time<setdate format=\"%d%m%y\" inccursorkey=\"1\" incdatakey=\"2\" "
         "goto=\"#T\"/><settime format=\"%H%M\" inccursorkey=\"1\" incdatakey=\"2\" "
         "goto=\"#T\"/></div>");  // of two setters the keys drive the last
    Key(2);
    EXPECT_EQ(Panel().Segments().substr(0, 4), "1405");
    manager->HandleKey(0, flushMask, "!submit");
    EXPECT_EQ(DateArgs(), "-s @1796565900\n");  // today, 14:05
    // Stepping a 12-hour clock down past noon turns PM into AM; it submits by itself.
    Show("H",
         "<div name=\"H\"><settime format=\"%I%M\" inccursorkey=\"1\" decdatakey=\"4\" "
         "autosubmit=\"500\" goto=\"#H\"/></div>");
    auto blinking = [this] {  // the field being edited blinks
        std::string cells;
        for (int cell = 0; cell < 4; ++cell)
            cells += Panel().segments[cell].mode == MODE_BLINK ? 'b' : '-';
        return cells;
    };
    EXPECT_EQ(blinking(), "bb--");
    Key(4);
    Key(4);
    EXPECT_EQ(Panel().Segments().substr(0, 4), "1105");
    EXPECT_EQ(Panel().SymbolMode(AM), MODE_ON);
    EXPECT_EQ(Panel().SymbolMode(PM), MODE_OFF);
    Elapse(500);
    EXPECT_EQ(DateArgs(), "-s @1796555100\n");  // today, 11:05
    Key(1);
    EXPECT_EQ(blinking(), "--bb");
    Show("D",
         "<div name=\"D\">Date<setdate format=\"%d%m%y\" inccursorkey=\"1\" incdatakey=\"2\" "
         "goto=\"#D\"/></div>");
    manager->HandleKey(0, flushMask, "!submit");
    EXPECT_EQ(DateArgs(), "-s @1796562300\n");  // the time of day is kept
    Show("B",
         "<div name=\"B\"><setdatetime format=\"%H%M%d%m%y\" inccursorkey=\"1\" "
         "incdatakey=\"2\" goto=\"#B\"/></div>");
    Key(2);
    manager->HandleKey(0, flushMask, "!submit");
    EXPECT_EQ(DateArgs(), "-s @1796565900\n");  // 6.12., 14:05

    EXPECT_EQ(manager->SetSystemClock("-1", "-1", "-1", "07", "05"), 0);
    EXPECT_EQ(DateArgs(), "-s @1796540700\n");  // today, 07:05
    // Past 2038 on every target, the 32-bit unit included.
    EXPECT_EQ(manager->SetSystemClock("01", "01", "40", "00", "00"), 0);
    EXPECT_EQ(DateArgs(), "-s @2208988800\n");
    EXPECT_EQ(manager->SetSystemClock("31", "12", "99", "23", "59"), 0);
    EXPECT_EQ(DateArgs(), "-s @4102444740\n");
    EXPECT_EQ(manager->SetSystemClock("31", "02", "25", "10", "00"), -1);
    EXPECT_TRUE(log.Has(5, "NIVO_Manager::SetSystemClock: 31.02.25 10:00 ung\xfcltig"));
    EXPECT_EQ(DateArgs(), "-s @4102444740\n");  // date not run

    dir.Write("date.status", "3");
    EXPECT_LT(manager->SetSystemClock("01", "01", "30", "00", "00"), 0);
    EXPECT_TRUE(log.Has(5, "date -s @1893456000"));
    manager->HandleKey(0, flushMask, "!submit");  // the setter says so
    manager->GetDisplay().Flush(flushMask);
    EXPECT_EQ(Panel().Line(0), "Failure    ");
    Key(2);
    Elapse(10000);  // a step under the message (the year) outlasts it
    EXPECT_EQ(Panel().Line(0), "           ");
    EXPECT_EQ(Panel().Segments(), "1305061227");
}

}  // namespace
