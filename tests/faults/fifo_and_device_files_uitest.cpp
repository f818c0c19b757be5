// Start-up with the settings file, the autostart entry and the per-user
// settings file all FIFOs nobody writes to: the main window comes up, says the
// settings file is damaged, and every setting reads as absent. A hang ends the
// test run with "HANG".
#include "FrmMain.h"
#include "HangGuard.h"
#include "PlatformSettings.h"
#include "QtMainWindowFixture.h"
#include "QtTestApp.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// A FIFO at path while it lives; what was there before comes back afterwards.
class FifoInPlace {
public:
    explicit FifoInPlace(const QString &where) : mPath(where.toStdString())
    {
        fs::create_directories(mPath.parent_path());
        if (fs::exists(mPath)) fs::rename(mPath, mSaved = mPath.string() + ".saved");
        EXPECT_EQ(::mkfifo(mPath.c_str(), 0644), 0) << mPath;
    }
    ~FifoInPlace()
    {
        fs::remove(mPath);
        if (!mSaved.empty()) fs::rename(mSaved, mPath);
    }
    FifoInPlace(const FifoInPlace &) = delete;
    FifoInPlace &operator=(const FifoInPlace &) = delete;

private:
    fs::path mPath;
    std::string mSaved;
};

QString configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

class NonRegularFileStartUp : public MainWindowFixture {};

TEST_F(NonRegularFileStartUp, FifosInEveryStartUpFileNeitherHangNorStopIt)
{
    FifoInPlace settings(QString::fromStdString(dir.file("Marqora.dat")));
    FifoInPlace autostart(PlatformSettings::autoRunLocation());
    FifoInPlace perUser(configHome() + QStringLiteral("/Corvane/VRX7300Marqora.conf"));

    HangGuard guard("start-up with FIFOs for its files");
    PlatformSettings::applyComPortPaths();
    TFormMain &w = start();
    ASSERT_TRUE(waitUntil([&] { return !script.messages.empty(); }, 10000));
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("Marqora.dat"))) << script.messages[0].text.toStdString();
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("错误"));
    EXPECT_FALSE(w.ChkAutoRun->isChecked());
    EXPECT_FALSE(PlatformSettings::GetAutoRunState());
    EXPECT_EQ(PlatformSettings::readPassword(), 0);
    EXPECT_EQ(PlatformSettings::readShowNeedPass(), 0);
    // The per-user file cannot take a value either, and stays a FIFO.
    EXPECT_FALSE(PlatformSettings::writeShowNeedPass(1));
    EXPECT_TRUE(fs::is_fifo((configHome() + QStringLiteral("/Corvane/VRX7300Marqora.conf")).toStdString()));
}

TEST_F(NonRegularFileStartUp, PerUserSettingsStillRoundTripThroughTheirOneFile)
{
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(1));
    EXPECT_EQ(PlatformSettings::readShowNeedPass(), 1);
    ASSERT_TRUE(PlatformSettings::writePassword(0x1234));
    EXPECT_EQ(PlatformSettings::readPassword(), 0x1234);
    const std::string file = (configHome() + QStringLiteral("/Corvane/VRX7300Marqora.conf")).toStdString();
    std::ifstream in(file);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("ShowNeedPass=1"), std::string::npos) << content;
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(0));
    ASSERT_TRUE(PlatformSettings::writePassword(0));
}

} // namespace
