#include <gtest/gtest.h>
#include <grp.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <iterator>

#include "tests/util/temp_dir.h"
#include "util/file_descriptor.h"
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
    map.SetValue("D", "-6");            // every line of the key follows: the last one wins
    map.SetValue("NOTE", " 1\nB=2\r");  // line breaks cannot forge keys
    map.SetValue("X=Y", "3");
    map.SetValue("#C", "4");
    ASSERT_TRUE(map.WriteToFile(""));
    EXPECT_FALSE(map.IsDirty());
    EXPECT_EQ(ReadFile(path),
              "# display settings\n\nCONTRAST=9\njunk line\nUNKNOWN=a = b\n=orphan\nA=abc\n"
              "B=12px\nD=-6\nD=-6\nC=\nNOTE=1 B=2\n");
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
    // Made beside the file and renamed there: the rename never crosses file systems.
    FileDescriptor watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    inotify_add_watch(watch.Get(), dir.Path().c_str(), IN_CREATE | IN_MOVED_TO);
    ASSERT_TRUE(map.WriteToFile(""));
    alignas(inotify_event) char events[4096];
    std::string seen;
    for (ssize_t at = 0, n = read(watch.Get(), events, sizeof events); at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        seen += (event->mask & IN_CREATE ? "+" : ">") + std::string(event->name).substr(0, 9);
        at += static_cast<ssize_t>(sizeof *event + event->len);
    }
    EXPECT_EQ(seen, "+new.conf.>new.conf");
    EXPECT_EQ(fs::status(dir.Path("new.conf")).permissions(), fs::perms(0644));
    // real, link, folder and new: no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 4);
}

// The web server's CGI (uid and gid 33 on Debian) edits the file too: every save
// keeps its owner, and a file the program may not write is left as it was.
TEST(PropertyMap, SavingKeepsTheOwnerAndLeavesAFileItMayNotWrite) {
    TempDir dir;
    const std::string path = dir.Write("nivo_lcd.conf", "A=1\n", 0664);
    // Changes A and tries to save: false, one line logged, the file unchanged.
    auto refused = [&path] {
        CapturingLogger capture;
        ScopedLogger installed(&capture);
        PropertyMap map;
        map.ReadFromFile(path);
        map.SetIntValue("A", 2);
        return !map.WriteToFile("") && capture.Lines().size() == 1 &&
               capture.Contains("cannot write " + path) && ReadFile(path) == "A=1\n";
    };
    if (::chown(path.c_str(), 33, 33) != 0) {
        std::cout << "not root: owners cannot be changed here, testing a read-only file only\n";
        ::chmod(path.c_str(), 0444);
        EXPECT_TRUE(refused());
        return;
    }
    PropertyMap map;
    ASSERT_TRUE(map.ReadFromFile(path));
    map.SetIntValue("A", 3);
    ASSERT_TRUE(map.WriteToFile(""));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 33u);
    EXPECT_EQ(info.st_gid, 33u);
    EXPECT_EQ(info.st_mode & 07777, 0664u);

    // Another user, with a folder that would let it rename over the file.
    ::chmod(dir.Path().c_str(), 0777);
    dir.Write("nivo_lcd.conf", "A=1\n", 0664);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 &&
                             ::setuid(65534) == 0;
        ::_exit(dropped && refused() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(path), "A=1\n");
}
