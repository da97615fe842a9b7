#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/util/temp_dir.h"
#include "util/logger.h"
#include "util/property_map.h"

namespace {

int FilesIn(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}

}  // namespace

TEST(PropertyMap, RewriteKeepsCommentsBlankJunkAndUnknownLines) {
    TempDir dir;
    std::string path = dir.Write("nivo_lcd.conf",
                                 "# display settings\n\n  CONTRAST = 7 \r\njunk line\n"
                                 "\tUNKNOWN=a = b\n=orphan\nBACKLIGHT=30");
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(path));
    EXPECT_EQ(map.GetStringValue("CONTRAST", ""), "7");
    EXPECT_EQ(map.GetStringValue("UNKNOWN", ""), "a = b");
    EXPECT_EQ(map.GetIntValue("BACKLIGHT", 0), 30);
    map.SetIntValue("CONTRAST", 9);
    map.SetValue("DATEFORMAT", "DDMMYY");
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_EQ(ReadFile(path),
              "# display settings\n\nCONTRAST=9\njunk line\nUNKNOWN=a = b\n=orphan\n"
              "BACKLIGHT=30\nDATEFORMAT=DDMMYY\n");
}

TEST(PropertyMap, DefaultsApplyToMissingKeysAndNonNumbers) {
    TempDir dir;
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(dir.Write("c.conf", "A=abc\nB=12px\nC=\nD=-4\n")));
    EXPECT_EQ(map.GetIntValue("A", 5), 5);
    EXPECT_EQ(map.GetIntValue("B", 5), 12);
    EXPECT_EQ(map.GetIntValue("C", 5), 5);
    EXPECT_EQ(map.GetIntValue("D", 5), -4);
    EXPECT_EQ(map.GetIntValue("a", 5), 5);  // keys are case-sensitive
    EXPECT_EQ(map.GetStringValue("C", "x"), "");
    EXPECT_EQ(map.GetStringValue("E", "x"), "x");
}

TEST(PropertyMap, DirtyOnlyAfterARealChangeUntilWritten) {
    TempDir dir;
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(dir.Write("c.conf", "A=1\nA=2\n")));
    EXPECT_EQ(map.GetIntValue("A", 0), 2);  // the last line of a key wins
    EXPECT_FALSE(map.IsDirty());
    map.SetValue("A", "2");
    map.SetIntValue("A", 2);
    EXPECT_TRUE(map.IsDirty());  // the first line still said 1
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_FALSE(map.IsDirty());
    map.SetIntValue("A", 2);
    EXPECT_FALSE(map.IsDirty());
    map.SetIntValue("B", 3);
    EXPECT_TRUE(map.IsDirty());
    ASSERT_TRUE(map.ReadFromFile(dir.Path("c.conf")));
    EXPECT_FALSE(map.IsDirty());
    EXPECT_EQ(map.GetIntValue("B", 0), 0);
}

TEST(PropertyMap, FailedReadStillNamesTheFileToWrite) {
    TempDir dir;
    PropertyMap map;
    EXPECT_FALSE(map.ReadFromFile(dir.Path("new.conf")));
    map.SetIntValue("BRIGHTNESS", 4);
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_EQ(ReadFile(dir.Path("new.conf")), "BRIGHTNESS=4\n");
    struct stat info {};
    ASSERT_EQ(stat(dir.Path("new.conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(PropertyMap, AtomicWriteKeepsModeAndLeavesNoTemporaryFile) {
    TempDir dir;
    std::string path = dir.Write("c.conf", "A=1\n", 0640);
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(path));
    map.SetIntValue("A", 2);
    ASSERT_TRUE(map.WriteToFile(dir.Path("c.conf")));
    EXPECT_EQ(ReadFile(path), "A=2\n");
    EXPECT_EQ(FilesIn(dir.Path()), 1);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(PropertyMap, WriteThroughASymbolicLinkUpdatesTheLinkedFile) {
    TempDir dir;
    std::string real = dir.Write("real.conf", "A=1\n", 0644);
    std::string link = dir.Path("link.conf");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(link));
    map.SetIntValue("A", 2);
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_EQ(ReadFile(real), "A=2\n");
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(PropertyMap, WriteFailuresReturnFalseLogAndLeaveNothingBehind) {
    TempDir dir;
    CapturingLogger capture;
    ScopedLogger installed(&capture);
    PropertyMap map;
    map.SetValue("A", "1");
    EXPECT_FALSE(map.WriteToFile(""));  // nothing read, no name given
    EXPECT_FALSE(map.WriteToFile(dir.Path("missing/c.conf")));
    dir.Write("plain", "");
    EXPECT_FALSE(map.WriteToFile(dir.Path("plain/c.conf")));
    std::filesystem::create_directory(dir.Path("folder"));
    EXPECT_FALSE(map.WriteToFile(dir.Path("folder")));  // rename onto a folder fails late
    EXPECT_EQ(FilesIn(dir.Path()), 2);
    EXPECT_TRUE(map.IsDirty());
    EXPECT_EQ(capture.Lines().size(), 4u);
    EXPECT_TRUE(capture.Contains("PropertyMap::WriteToFile: "));
}

TEST(PropertyMap, LineBreaksInSetTextsCannotForgeKeys) {
    TempDir dir;
    CapturingLogger capture;
    ScopedLogger installed(&capture);
    PropertyMap map;
    map.ReadFromFile(dir.Path("c.conf"));
    map.SetValue("A", "1\nB=2");
    map.SetValue("X=Y", "3");
    map.SetValue("#C", "4");
    ASSERT_TRUE(map.WriteToFile(""));
    PropertyMap reread;
    ASSERT_TRUE(reread.ReadFromFile(dir.Path("c.conf")));
    EXPECT_EQ(reread.GetStringValue("A", ""), "1 B=2");
    EXPECT_EQ(reread.GetStringValue("B", "none"), "none");
    EXPECT_EQ(reread.GetStringValue("X", "none"), "none");
    EXPECT_EQ(ReadFile(dir.Path("c.conf")), "A=1 B=2\n");
    EXPECT_EQ(capture.Count("PropertyMap::SetValue: invalid key 'X=Y'"), 1);
}
