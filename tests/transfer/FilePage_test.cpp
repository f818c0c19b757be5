#include "transfer/FilePage.h"

#include <gtest/gtest.h>

TEST(Period, EveryItemRoundTrips)
{
    const auto &items = periodItems();
    EXPECT_EQ(items.front(), "10 秒");
    EXPECT_EQ(items[5], " 1 分");
    EXPECT_EQ(items[14], "10 分");
    EXPECT_EQ(items[15], "15 分");
    EXPECT_EQ(items.back(), "1 小时");
    for (const auto &item : items) EXPECT_EQ(periodItemFor(periodOfItem(item)), item) << item;
}

TEST(Period, ParsesItemTexts)
{
    const std::pair<const char *, uint16_t> cases[] = {
        {"", 10}, {" 5 分", 300}, {"10 秒", 10}, {"1 小时", 3600}, {"55 分", 3300}, {"50 秒", 50},
    };
    for (const auto &[text, seconds] : cases) EXPECT_EQ(periodOfItem(text), seconds) << text;
}

TEST(Period, ValuesWithoutAnItemSelectNothing)
{
    EXPECT_EQ(periodItemFor(90), std::nullopt);
    EXPECT_EQ(periodItemFor(0), std::nullopt);
    EXPECT_EQ(periodItemFor(7200), std::nullopt);
    EXPECT_EQ(periodItemFor(300), " 5 分");
    EXPECT_EQ(periodItemFor(3600), "1 小时");
    EXPECT_EQ(periodItemFor(20), "20 秒");
}

TEST(Drives, ListAndDisksPerControllerType)
{
    EXPECT_EQ(driveItems(0), (std::vector<std::string>{"A:", "B:", "C:"}));
    EXPECT_EQ(driveItems(1), (std::vector<std::string>{"B:", "C:"}));

    struct Case {
        uint16_t type;
        uint8_t drv;
        uint8_t index;
        int32_t textDisk;
        char letter;
        int32_t playListDisk;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 'A', 0}, {0, 1, 1, 1, 'B', 0}, {0, 2, 2, 2, 'C', 0},
        {1, 0, 0, 1, 'B', 1}, {1, 1, 1, 2, 'C', 1},
        {1, 2, 1, 2, 'C', 1},  // a new Hexalink record: C:, never a disk D:
        {0, 255, 2, 2, 'C', 0},
    };
    for (const auto &c : cases) {
        MySetupType record{};
        record.nLEDSystem = c.type;
        record.Drv = c.drv;
        const auto disks = controllerDisks(record);
        EXPECT_EQ(driveIndexOf(record), c.index);
        EXPECT_EQ(disks.textDisk, c.textDisk);
        EXPECT_EQ(disks.textLetter, c.letter);
        EXPECT_EQ(disks.playListDisk, c.playListDisk);
    }
}

TEST(RecordFileName, KeepsOnlyNamesTheRecordCanHoldUnchanged)
{
    EXPECT_EQ(recordFileName("/home/op/新闻.txt", 0), std::optional<std::string>("/home/op/\xD0\xC2\xCE\xC5.txt"));
    EXPECT_EQ(recordFileName(std::string(250, 'a'), 0), std::string(250, 'a'));
    EXPECT_EQ(recordFileName(std::string(251, 'a'), 0), std::nullopt);
    EXPECT_EQ(recordFileName("/tmp/😀.txt", 0), std::nullopt);     // no GBK character for it
    EXPECT_EQ(recordFileName("/tmp/\xFF.txt", 0), std::nullopt);   // not UTF-8 at all
    EXPECT_NE(recordFileName("/tmp/是.txt", 1), std::nullopt);      // Big5 when the language says so
}
