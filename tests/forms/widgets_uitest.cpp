#include "FrmWidgets.h"
#include "QtTestApp.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(IpEdit, KeepsFifteenCharactersWithFixedDotsAndBlanks)
{
    qtTestApp();
    IpEdit edit(nullptr);
    edit.setIpText(QStringLiteral("10 .1  .1  .100"));
    EXPECT_EQ(edit.ipText(), QStringLiteral("10 .1  .1  .100"));
    edit.setIpText(QStringLiteral("127.  0.  0.  1"));
    EXPECT_EQ(edit.ipText(), QStringLiteral("127.  0.  0.  1"));
    edit.setIpText(QStringLiteral("192.168.1.10"));
    EXPECT_EQ(edit.ipText(), QStringLiteral("192.168.  1. 10"));
    edit.setIpText(QStringLiteral("..."));
    EXPECT_EQ(edit.ipText(), QStringLiteral("   .   .   .   "));

    // Typing fills positions; letters are refused and the dots stay.
    edit.setFocus();
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, QStringLiteral("1a2"));
    EXPECT_EQ(edit.ipText().size(), 15);
    EXPECT_EQ(edit.ipText().left(2), QStringLiteral("12"));
    EXPECT_EQ(edit.ipText()[3], QLatin1Char('.'));

    edit.setIpText(QStringLiteral("..."));
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, QStringLiteral("10.5"));  // a dot jumps to the next group
    EXPECT_EQ(edit.ipText(), QStringLiteral("10 .5  .   .   "));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Backspace);  // steps over the dot
    EXPECT_EQ(edit.ipText(), QStringLiteral("10 .   .   .   "));
    QTest::keyClicks(&edit, QStringLiteral("9999999999999"));
    EXPECT_EQ(edit.ipText(), QStringLiteral("109.999.999.999"));
}

TEST(RadioGroup, ProgramChangesDoNotCountAsClicks)
{
    qtTestApp();
    RadioGroup group(QStringLiteral(" 排列 "), {QStringLiteral("横排"), QStringLiteral("竖排")}, 2, nullptr);
    int clicks = 0;
    QObject::connect(&group, &RadioGroup::clicked, [&](int) { ++clicks; });
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(1);
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_EQ(clicks, 0);
    group.setItemIndex(7);  // no such item: unchanged
    EXPECT_EQ(group.itemIndex(), 1);
}

TEST(ReadableProgressBar, LooksTheSameOnADisabledPage)
{
    qtTestApp();
    QWidget page;
    auto *bar = new ReadableProgressBar(&page);
    bar->setGeometry(0, 0, 200, 14);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(40);
    const QImage enabled = bar->grab().toImage();
    page.setEnabled(false);
    ASSERT_FALSE(bar->isEnabled());
    EXPECT_EQ(bar->grab().toImage(), enabled);

    // A plain progress bar is drawn differently there: the check can see a difference.
    auto *plain = new QProgressBar(&page);
    plain->setGeometry(0, 20, 200, 14);
    plain->setTextVisible(false);
    plain->setRange(0, 100);
    plain->setValue(40);
    const QImage disabledPlain = plain->grab().toImage();
    page.setEnabled(true);
    EXPECT_NE(plain->grab().toImage(), disabledPlain);
}
