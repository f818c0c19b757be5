#pragma once

#include "FrmDialogs.h"
#include "FrmMain.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A main window over a settings folder of its own, on the offscreen platform,
// with a tray, the real controller library and every dialog answered by script.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the window and runs the posted minimise.
    TFormMain &start();
    // Writes a settings file holding what fill adds.
    void storeDisplays(const std::function<void(FMySetup &)> &fill);
    // The settings file as the next start would load it.
    FMySetup storedFile() const;

    TempDir dir;
    FMyString language;
    Dialogs::Script script;
    std::unique_ptr<TFormMain> window;
};
