#include "clicksend/FrmClickSend.h"

#include "FakeHx.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "forms/FrmDialogs.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class ClickSendWindow : public testing::Test {
protected:
    TempDir dir;
    FMySetup store;
    FakeHx fake;
    // Jobs run at once on the test's thread: the fake records them in order.
    Watch watch{store, fake.dll(), [] {
                    WatchOptions options;
                    options.workers = 0;
                    return options;
                }()};
    Dialogs::Script script;
    int mainWindowCloses = 0;
    TFormClickSend *form = nullptr;

    void SetUp() override
    {
        qtTestApp();
        store.mProgPath = dir.path();
        Dialogs::setScript(&script);
        form = new TFormClickSend(store, watch, fake.dll(), 0, [this] { ++mainWindowCloses; });
    }
    void TearDown() override
    {
        delete form;
        Dialogs::setScript(nullptr);
    }

    // Two click-send displays of 16 columns, areas 128 x 16, and one that watches a file.
    void addDisplays()
    {
        store.Add(0, "192.168.1.10", 0, 7000, 0, 0, 1, 0, 128, 16, 0);
        store.Add(0, "10.1.1.100", 0, 7000, 0, 0, 1, 0, 128, 16, 0);
        store.Add(1, "", 3, 0, 1, 9600, 1, 0, 128, 16, 0);
        for (int i : {0, 2}) {
            store.mSetup[i].bFromFile = 0;
            store.mSetup[i].AreaIndex = 1;
            store.mSetup[i].ASCPerLine = 16;
        }
    }

    // Shows the window and lets its preparation run.
    void showPrepared()
    {
        ASSERT_TRUE(form->fillFromStore(true));
        ASSERT_TRUE(form->TimerShow->isActive());
        form->TimerShow->stop();
        form->TimerShowTimer();
    }

    void loadFile(const std::string &name, const std::string &content)
    {
        dir.write(name, content);
        script.files.push_back(QString::fromStdString(dir.file(name)));
        QTest::mouseClick(form->BtnLoadFile, Qt::LeftButton);
    }
};

TEST_F(ClickSendWindow, CaptionsAndFont)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("发送文本"));
    EXPECT_EQ(form->BtnLoadFile->text(), QStringLiteral("装入文本"));
    EXPECT_EQ(form->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(form->font().pixelSize(), 12);
    EXPECT_EQ(form->windowType(), Qt::Tool);  // no taskbar button of its own
}

TEST_F(ClickSendWindow, WithoutClickSendDisplaysTheWindowStaysHidden)
{
    store.Add(0, "192.168.1.10", 0, 7000, 0, 0, 1, 0, 128, 16, 0);  // watches a file
    EXPECT_FALSE(form->fillFromStore(true));
    EXPECT_EQ(form->LEDList->count(), 0);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->GetPtrFromList(0), nullptr);
}

TEST_F(ClickSendWindow, FillingTicksEveryEntryAndShowsOnlyFromTheTimer)
{
    addDisplays();
    EXPECT_TRUE(form->fillFromStore(false));
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(form->LEDList->count(), 2);
    EXPECT_EQ(form->LEDList->item(0)->text(), QStringLiteral("[192.168.  1. 10] "));
    EXPECT_EQ(form->LEDList->item(1)->text(), QStringLiteral("[  3] "));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(form->LEDList->item(i)->checkState(), Qt::Checked);
    EXPECT_EQ(form->GetPtrFromList(1), &store.mSetup[2]);
    EXPECT_EQ(form->GetPtrFromList(2), nullptr);

    EXPECT_TRUE(form->fillFromStore(true));
    EXPECT_TRUE(form->isVisible());

    store.mSetup[0].bFromFile = 1;
    store.mSetup[2].bFromFile = 1;
    EXPECT_FALSE(form->fillFromStore(false));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ClickSendWindow, ShowingPreparesEveryDisplayAndClearsTheLines)
{
    addDisplays();
    showPrepared();
    EXPECT_EQ(fake.callsNamed("Reset"), (Lines{"Reset(43200,0)", "Reset(3,0)"}));
    EXPECT_GE(form->TextList->width(), 98 + 4);

    loadFile("a.txt", "one\r\ntwo\r\n");
    EXPECT_EQ(form->TextList->count(), 2);
    form->hide();
    fake.clearCalls();
    showPrepared();
    EXPECT_EQ(form->TextList->count(), 0);
    EXPECT_TRUE(form->lines().empty());
    EXPECT_EQ(fake.callsNamed("Reset").size(), 2u);
}

TEST_F(ClickSendWindow, ShowingStartsThePreparationTimer)
{
    addDisplays();
    form->fillFromStore(true);
    EXPECT_TRUE(form->TimerShow->isSingleShot());
    EXPECT_EQ(form->TimerShow->interval(), 100);
    QTRY_VERIFY_WITH_TIMEOUT(!fake.callsNamed("Reset").empty(), 5000);
    EXPECT_FALSE(form->TimerShow->isActive());
}

TEST_F(ClickSendWindow, LoadedLinesAreBrokenAndShownInUnicode)
{
    addDisplays();
    showPrepared();
    loadFile("news.txt", std::string(40, 'a') + "\n\xE4\xBD\xA0\xE5\xA5\xBD world\n");
    ASSERT_EQ(form->TextList->count(), 4);
    EXPECT_EQ(form->TextList->item(0)->text(), QString(16, 'a'));
    EXPECT_EQ(form->TextList->item(2)->text(), QString(8, 'a'));
    EXPECT_EQ(form->TextList->item(3)->text(), QStringLiteral("你好 world"));
    EXPECT_EQ(form->lines()[3], "\xC4\xE3\xBA\xC3 world");
}

TEST_F(ClickSendWindow, ACancelledDialogChangesNothing)
{
    addDisplays();
    showPrepared();
    loadFile("a.txt", "one\n");
    script.files.push_back(std::nullopt);
    QTest::mouseClick(form->BtnLoadFile, Qt::LeftButton);
    EXPECT_EQ(form->TextList->count(), 1);
}

TEST_F(ClickSendWindow, AnUnreadableFileIsReportedByName)
{
    addDisplays();
    showPrepared();
    script.files.push_back(QString::fromStdString(dir.file("gone.txt")));
    QTest::mouseClick(form->BtnLoadFile, Qt::LeftButton);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("gone.txt")));
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("No such file")));
}

TEST_F(ClickSendWindow, SelectingALineShowsItOnEveryDisplayOnce)
{
    addDisplays();
    showPrepared();
    loadFile("a.txt", "first\nsecond\n");
    fake.clearCalls();

    form->TextList->setCurrentRow(1);  // as the keyboard does
    EXPECT_EQ(fake.callsNamed("ShowString"),
              (Lines{"ShowString(43200,`R0000000001280016second)", "ShowString(3,`R0000000001280016second)"}));

    fake.clearCalls();
    const QRect firstRow = form->TextList->visualItemRect(form->TextList->item(0));
    QTest::mouseClick(form->TextList->viewport(), Qt::LeftButton, {}, firstRow.center());
    EXPECT_EQ(fake.callsNamed("ShowString").size(), 2u);
    EXPECT_EQ(fake.callsNamed("ShowString")[0], "ShowString(43200,`R0000000001280016first)");

    fake.clearCalls();  // clicking the selected line again sends it again
    QTest::mouseClick(form->TextList->viewport(), Qt::LeftButton, {}, firstRow.center());
    EXPECT_EQ(fake.callsNamed("ShowString").size(), 2u);
}

TEST_F(ClickSendWindow, ClosingClosesTheMainWindow)
{
    addDisplays();
    form->fillFromStore(true);
    form->close();
    EXPECT_EQ(mainWindowCloses, 1);
}

}  // namespace

TEST_F(ClickSendWindow, OnlyTheLeftButtonSelectsALine)
{
    addDisplays();
    showPrepared();
    loadFile("a.txt", "first\nsecond\n");
    fake.clearCalls();
    const QRect secondRow = form->TextList->visualItemRect(form->TextList->item(1));
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(form->TextList->viewport(), button, {}, secondRow.center());
        QTest::mouseDClick(form->TextList->viewport(), button, {}, secondRow.center());
    }
    EXPECT_TRUE(fake.callsNamed("ShowString").empty());
    EXPECT_EQ(form->TextList->currentRow(), -1);

    QTest::mouseClick(form->TextList->viewport(), Qt::LeftButton, {}, secondRow.center());
    EXPECT_EQ(fake.callsNamed("ShowString").size(), 2u);
    EXPECT_EQ(form->TextList->currentRow(), 1);
}
