#include "QtMainWindowFixture.h"

#include "HX_Dll.h"
#include "PlatformSettings.h"
#include "QtTestApp.h"

void MainWindowFixture::SetUp()
{
    qtTestApp();
    PlatformSettings::overrideSystemTray(true);
    Dialogs::setScript(&script);
}

void MainWindowFixture::TearDown()
{
    window.reset();
    Dialogs::setScript(nullptr);
    PlatformSettings::overrideSystemTray(std::nullopt);
}

TFormMain &MainWindowFixture::start()
{
    window = std::make_unique<TFormMain>(language, dir.path(), hxTable());
    QCoreApplication::processEvents();
    return *window;
}

void MainWindowFixture::storeDisplays(const std::function<void(FMySetup &)> &fill)
{
    FMySetup store;
    store.Initial(dir.path());
    fill(store);
    ASSERT_TRUE(store.WriteToFile());
}

FMySetup MainWindowFixture::storedFile() const
{
    FMySetup store;
    store.Initial(dir.path());
    return store;
}
