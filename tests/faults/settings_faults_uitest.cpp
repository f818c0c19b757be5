// The main window saving into a settings folder that has become read-only:
// the operator is told, the file on disk stays as it was, and the next save
// after the folder is writable again goes through.
#include "FaultHelpers.h"
#include "FrmMain.h"
#include "FrmWidgets.h"
#include "HxSim.h"
#include "QtMainWindowFixture.h"

#include <gtest/gtest.h>

namespace {
class SettingsFolderFault : public MainWindowFixture {};
}  // namespace

TEST_F(SettingsFolderFault, ReadOnlyFolderIsReportedAndTheOldFileSurvives)
{
    HxSim sim;
    dir.write("news.txt", "news");
    storeDisplays([&](FMySetup &store) {
        store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 128, 32, 0);
        setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
    });
    TFormMain &w = start();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    w.nStay->setValue(42);
    const std::string before = dir.read("Marqora.dat");

    {
        ReadOnlyFolder readOnly(dir.path());
        if (!readOnly.works()) GTEST_SKIP() << "this process can write to a folder without write permission";
        w.BtnFileOKClick();
    }
    ASSERT_EQ(script.messages.size(), 1u);
    const QString text = script.messages[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("显示屏设置无法保存:\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Marqora.dat"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Permission denied"))) << text.toStdString();
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(dir.read("Marqora.dat"), before);

    w.BtnFileOKClick();
    EXPECT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(storedFile().mSetup[0].Stay, 42);
}
