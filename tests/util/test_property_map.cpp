#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "tests/util/temp_dir.h"
#include "util/logger.h"
#include "util/property_map.h"

namespace fs = std::filesystem;

TEST(PropertyMap, RewriteKeepsEveryOtherLineAndChangesOnlyWhatWasSet) {
    TempDir dir;
    std::string path = dir.Write("nivo_lcd.conf",
                                 "# display settings\n\n  CONTRAST = 7 \r\njunk line\n"
                                 "\tUNKNOWN=a = b\n=orphan\nA=abc\nB=12px\nD=-4\nD=-5\nC=");
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(path));
    EXPECT_EQ(map.GetStringValue("CONTRAST", "") + map.GetStringValue("UNKNOWN", ""), "7a = b");
    EXPECT_EQ(map.GetStringValue("C", "x") + map.GetStringValue("E", "x"), "x");
    // Not a number: the default; keys are case-sensitive; the last line of a key wins.
    std::pair<const char*, int> kInts[] = {{"A", 5}, {"B", 12}, {"C", 5}, {"D", -5}, {"d", 5}};
    for (auto [key, value] : kInts) EXPECT_EQ(map.GetIntValue(key, 5), value) << key;
    map.SetIntValue("CONTRAST", 7);
    EXPECT_FALSE(map.IsDirty());
    map.SetIntValue("CONTRAST", 9);
    EXPECT_TRUE(map.IsDirty());
    map.SetValue("D", "-5");            // every line of the key follows
    map.SetValue("NOTE", " 1\nB=2\r");  // line breaks cannot forge keys
    map.SetValue("X=Y", "3");
    map.SetValue("#C", "4");
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_FALSE(map.IsDirty());
    EXPECT_EQ(ReadFile(path),
              "# display settings\n\nCONTRAST=9\njunk line\nUNKNOWN=a = b\n=orphan\nA=abc\n"
              "B=12px\nD=-5\nD=-5\nC=\nNOTE=1 B=2\n");
    map.SetIntValue("LATER", 1);
    ASSERT_TRUE(map.ReadFromFile(path));  // a reload forgets what was not saved
    EXPECT_FALSE(map.IsDirty());
    EXPECT_EQ(map.GetIntValue("LATER", 0), 0);
}

TEST(PropertyMap, SavingReplacesTheFileWhereItLivesAndKeepsItsMode) {
    TempDir dir;
    CapturingLogger capture;
    ScopedLogger installed(&capture);
    std::string real = dir.Write("real.conf", "A=1\n", 0640);
    ASSERT_EQ(symlink(real.c_str(), dir.Path("link.conf").c_str()), 0);
    PropertyMap map;
    EXPECT_FALSE(map.WriteToFile(""));  // nothing read, no name given
    ASSERT_TRUE(map.ReadFromFile(dir.Path("link.conf")));
    map.SetIntValue("A", 2);
    EXPECT_FALSE(map.WriteToFile(dir.Path("missing/c.conf")));
    fs::create_directory(dir.Path("folder"));
    EXPECT_FALSE(map.WriteToFile(dir.Path("folder")));  // rename onto a folder fails late
    EXPECT_TRUE(map.IsDirty());
    EXPECT_EQ(capture.Lines().size(), 3u);
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_EQ(ReadFile(real), "A=2\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(dir.Path("link.conf")));
    EXPECT_FALSE(map.ReadFromFile(dir.Path("new.conf")));  // created by the first save
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_EQ(fs::status(dir.Path("new.conf")).permissions(), fs::perms(0644));
    // real, link, folder and new: no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
}
