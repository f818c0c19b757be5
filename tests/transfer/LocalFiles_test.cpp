#include "TempDir.h"
#include "transfer/LocalFiles.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

namespace {

// Sets the modification time of path to the local time given.
void setLocalTime(const std::string &path, int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    ASSERT_TRUE(setModificationTime(path, std::mktime(&local)));
}

}  // namespace

TEST(LocalName, ExistingFileIsFoundWhateverTheCase)
{
    TempDir dir;
    EXPECT_EQ(resolveLocalName(dir.path(), "PlayList.QV"), dir.file("PlayList.QV"));
    dir.write("Playlist.qv", "x");
    // Windows opens the file under any of the spellings; elsewhere the one on disk is needed.
#ifndef _WIN32
    for (const char *name : {"PlayList.QV", "PlayList.Qv", "PlayList.qv", "Playlist.qv"})
        EXPECT_EQ(resolveLocalName(dir.path(), name), dir.file("Playlist.qv")) << name;
#endif
    EXPECT_EQ(resolveLocalName(dir.path(), "Config.qv"), dir.file("Config.qv"));
}

TEST(DosName, FormsOfSingleNames)
{
    struct Case {
        const char *name;
        const char *base;
        const char *extension;
        bool fits;
    };
    const Case cases[] = {
        {"news.txt", "NEWS", "TXT", true},
        {"NEWS.TXT", "NEWS", "TXT", true},
        {"README", "README", "", true},
        {"daily news.txt", "DAILYNEW", "TXT", false},
        {"report.html", "REPORT", "HTM", false},
        {"a.b.txt", "AB", "TXT", false},
        {"新闻.txt", "", "TXT", false},
    };
    for (const auto &c : cases) {
        const DosName dos = dosNameOf(c.name);
        EXPECT_EQ(dos.base, c.base) << c.name;
        EXPECT_EQ(dos.extension, c.extension) << c.name;
        EXPECT_EQ(dos.fits, c.fits) << c.name;
    }
}

TEST(ShortFileName, FittingNameIsOnlyUpperCased)
{
    TempDir dir;
    dir.write("news.txt", "x");
    EXPECT_EQ(shortFileName(dir.file("news.txt")), "NEWS.TXT");
}

TEST(ShortFileName, LongNamesAreNumberedInSortedOrderAndStayStable)
{
    TempDir dir;
    dir.write("daily news.txt", "x");
    dir.write("daily notes.txt", "y");
    dir.write("DAILYN~1.TXT", "z");  // a real name taking the first number
    EXPECT_EQ(shortFileName(dir.file("daily news.txt")), "DAILYN~2.TXT");
    EXPECT_EQ(shortFileName(dir.file("daily notes.txt")), "DAILYN~3.TXT");
    EXPECT_EQ(shortFileName(dir.file("daily news.txt")), "DAILYN~2.TXT");
    EXPECT_EQ(shortFileName(dir.file("DAILYN~1.TXT")), "DAILYN~1.TXT");
}

TEST(ShortFileName, AGivenNameSurvivesSiblingsCreatedLater)
{
    TempDir dir;
    dir.write("report_today.txt", "watched");
    EXPECT_EQ(shortFileName(dir.file("report_today.txt")), "REPORT~1.TXT");
    dir.write("report_all.txt", "sorts first");  // would take ~1 in a fresh numbering
    EXPECT_EQ(shortFileName(dir.file("report_today.txt")), "REPORT~1.TXT");
    EXPECT_EQ(shortFileName(dir.file("report_all.txt")), "REPORT~2.TXT");
}

TEST(ShortFileName, MissingFileHasNoName)
{
    TempDir dir;
    EXPECT_EQ(shortFileName(dir.file("gone.txt")), "");
}

TEST(FileChangeTime, PacksDayHourMinuteAndEvenSecond)
{
    TempDir dir;
    dir.write("a.txt", "x");
    setLocalTime(dir.file("a.txt"), 2024, 3, 17, 14, 35, 9);
    EXPECT_EQ(GetFileChangeTime(dir.file("a.txt")), 0x110E2308u);
    setLocalTime(dir.file("a.txt"), 2024, 3, 17, 14, 35, 8);
    EXPECT_EQ(GetFileChangeTime(dir.file("a.txt")), 0x110E2308u);
    // Another month, same day and time: the same stamp.
    setLocalTime(dir.file("a.txt"), 2024, 5, 17, 14, 35, 8);
    EXPECT_EQ(GetFileChangeTime(dir.file("a.txt")), 0x110E2308u);
    EXPECT_EQ(GetFileChangeTime(dir.file("missing.txt")), 0u);
}
