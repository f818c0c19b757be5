#include "init/FrmArea.h"

#include "QtTestApp.h"
#include "TempDir.h"
#include "transfer/Profile.h"

#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QColor navy(0, 0, 128);
const QColor black(0, 0, 0);

class AreaPickerWindow : public testing::Test {
protected:
    TempDir dir;
    std::string playList = dir.file("Playlist.qv");
    TFormArea *form = nullptr;

    void SetUp() override
    {
        qtTestApp();
        form = new TFormArea;
        form->PlayList = playList;
    }
    void TearDown() override { delete form; }

    void writeAreas(const std::vector<std::string> &positions)
    {
        ASSERT_TRUE(WriteProfileString("Program1", "Screen", std::to_string(positions.size()), playList));
        for (std::size_t n = 1; n <= positions.size(); ++n)
            ASSERT_TRUE(WriteProfileString("Program1_Screen" + std::to_string(n), "Position", positions[n - 1],
                                           playList));
    }

    // Shows the picker the way exec() does, without blocking the test.
    void open(int32_t ledWidth, int32_t ledHeight)
    {
        form->LEDWidth = ledWidth;
        form->LEDHeight = ledHeight;
        form->open();
        QCoreApplication::processEvents();
    }

    QColor colorOf(int index) const { return form->mPn[index]->palette().color(QPalette::Window); }
};

TEST_F(AreaPickerWindow, LayoutAndCaptions)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("选取区域"));
    EXPECT_EQ(form->size(), QSize(272, 253));
    EXPECT_EQ(form->PnBk->geometry(), QRect(0, 0, 272, 218));
    EXPECT_EQ(form->PnBk->frameStyle(), QFrame::Panel | QFrame::Sunken);
    EXPECT_EQ(form->BtnOK->text(), QStringLiteral("确  定"));
    EXPECT_EQ(form->BtnOK->size(), QSize(75, 25));
    EXPECT_GE(form->BtnOK->y(), 218);
    EXPECT_TRUE(form->isModal());
    for (QFrame *panel : form->mPn) EXPECT_EQ(panel->parentWidget(), form->PnBk);
}

TEST_F(AreaPickerWindow, TwoAreasArePlacedAndPickedRelativeToTheLeftmost)
{
    writeAreas({"64,0,64,32", "128,0,64,32"});
    open(128, 32);
    EXPECT_EQ(form->Pn1->geometry(), QRect(8, 77, 128, 64));
    EXPECT_EQ(form->Pn2->geometry(), QRect(136, 77, 128, 64));
    EXPECT_TRUE(form->Pn1->isVisible());
    EXPECT_TRUE(form->Pn2->isVisible());
    EXPECT_FALSE(form->Pn3->isVisible());
    EXPECT_FALSE(form->Pn4->isVisible());

    QTest::mouseDClick(form->Pn2, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(form->mAreaIndex, 1);
    EXPECT_EQ(form->mArea[0].Left, 0);
    EXPECT_EQ(form->mArea[1].Left, 64);
}

TEST_F(AreaPickerWindow, FourAreasOnAWideScreenAndADoubleClickOnTheThird)
{
    // 192 x 64 at 256/192: a 256 x 85 picture, 8 from the left and 66 from the top.
    writeAreas({"4096,0,96,32", "4192,0,96,32", "4096,32,96,32", "4192,32,96,32"});
    open(192, 64);
    EXPECT_EQ(form->Pn1->geometry(), QRect(8, 66, 128, 43));
    EXPECT_EQ(form->Pn2->geometry(), QRect(136, 66, 128, 43));
    EXPECT_EQ(form->Pn3->geometry(), QRect(8, 109, 128, 43));
    EXPECT_EQ(form->Pn4->geometry(), QRect(136, 109, 128, 43));
    for (QFrame *panel : form->mPn) EXPECT_TRUE(panel->isVisible());

    QTest::mouseDClick(form->Pn3, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(colorOf(2), navy);
    EXPECT_EQ(applyPickedArea(form->mArea[form->mAreaIndex], form->mAreaIndex).AreaIndex, 3);
}

TEST_F(AreaPickerWindow, SquareScreenUsesTheHeight)
{
    writeAreas({"0,0,64,64"});
    open(64, 64);
    EXPECT_DOUBLE_EQ(form->mRate, 3.0);
    EXPECT_EQ(form->Pn1->geometry(), QRect(40, 13, 192, 192));
}

TEST_F(AreaPickerWindow, OkNeedsAHighlightedArea)
{
    writeAreas({"0,0,32,32", "32,0,32,32"});
    open(64, 32);
    QTest::mouseClick(form->BtnOK, Qt::LeftButton);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->mAreaIndex, -1);

    QTest::mouseClick(form->Pn2, Qt::LeftButton);
    EXPECT_EQ(colorOf(0), black);
    EXPECT_EQ(colorOf(1), navy);
    EXPECT_TRUE(form->isVisible());
    QTest::mouseClick(form->Pn1, Qt::LeftButton);
    EXPECT_EQ(colorOf(0), navy);
    EXPECT_EQ(colorOf(1), black);

    QTest::mouseClick(form->BtnOK, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->mAreaIndex, 0);
}

TEST_F(AreaPickerWindow, MoreThanFourAreasShowTheFirstFour)
{
    writeAreas({"0,0,8,8", "8,0,8,8", "16,0,8,8", "24,0,8,8", "32,0,8,8"});
    open(64, 8);
    EXPECT_EQ(form->mAreaCount, 4);
    for (QFrame *panel : form->mPn) EXPECT_TRUE(panel->isVisible());
}

TEST_F(AreaPickerWindow, GarbagePositionsAreShownWithoutHarm)
{
    writeAreas({"x!,99999999999999,-7,\xFF\xFE", "0,0,8,8"});
    open(64, 8);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->mAreaCount, 2);
}

TEST_F(AreaPickerWindow, ClosesAtOnceAsCancelledWithNothingToPick)
{
    struct Case {
        const char *name;
        std::vector<std::string> positions;
        int32_t height;
    };
    for (const Case &c : {Case{"no areas", {}, 32}, Case{"no screen height", {"0,0,8,8"}, 0}}) {
        writeAreas(c.positions);
        form->LEDWidth = 64;
        form->LEDHeight = c.height;
        // Should the picker stay open, end the nested loop so the test fails instead of hanging.
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(&guard, &QTimer::timeout, [&] { timedOut = true; form->done(99); });
        guard.start(5000);
        EXPECT_EQ(form->exec(), QDialog::Rejected) << c.name;
        EXPECT_FALSE(timedOut) << c.name;
    }
}

TEST_F(AreaPickerWindow, MissingPlayListClosesAtOnce)
{
    form->PlayList = dir.file("none.qv");
    form->LEDWidth = 64;
    form->LEDHeight = 32;
    QTimer::singleShot(5000, form, [this] { form->done(99); });
    EXPECT_EQ(form->exec(), QDialog::Rejected);
}

}  // namespace

TEST_F(AreaPickerWindow, OnlyALeftDoubleClickConfirms)
{
    writeAreas({"64,0,64,32", "128,0,64,32"});
    open(128, 32);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(form->Pn2, button);
        QTest::mouseDClick(form->Pn2, button);
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->mAreaIndex, -1);
    EXPECT_EQ(colorOf(1), black);

    QTest::mouseDClick(form->Pn2, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->mAreaIndex, 1);
}
