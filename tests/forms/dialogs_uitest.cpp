// The message box and the file dialog as the user sees them: Qt's own texts
// in Simplified Chinese whatever the locale, no icon, room for the caption.
#include "FrmDialogs.h"
#include "ProgramSetup.h"
#include "QtTestApp.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class QtTexts : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The tests run under LC_ALL=C.UTF-8: the texts must not depend on it.
        ASSERT_TRUE(installChineseQtTexts(qtTestApp()));
    }

    // Runs look on the modal dialog once it is up, then closes it.
    template <typename Dialog>
    void whenShown(std::function<void(Dialog &)> look)
    {
        QTimer::singleShot(0, [look] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            look(*dialog);
            dialog->reject();
        });
    }
};

QStringList buttonTexts(const QWidget &dialog)
{
    QStringList texts;
    for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        if (button->isVisible()) texts << button->text();
    return texts;
}

}  // namespace

TEST_F(QtTexts, TheTranslationsAreTakenFromQtsOwnFolder)
{
    EXPECT_TRUE(QFileInfo::exists(qtTranslationsPath() + QStringLiteral("/qtbase_zh_CN.qm")));
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

TEST_F(QtTexts, AMessageBoxHasAChineseOkButtonNoIconAndRoomForItsCaption)
{
    bool looked = false;
    whenShown<QMessageBox>([&looked](QMessageBox &box) {
        looked = true;
        EXPECT_EQ(box.windowTitle(), QStringLiteral("初始化"));
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        ASSERT_EQ(box.buttons().size(), 1);
        EXPECT_EQ(box.buttons()[0]->text(), QStringLiteral("确定"));
        EXPECT_TRUE(box.buttons()[0]->icon().isNull());
        EXPECT_GE(box.width(), Dialogs::messageBoxMinimumWidth(box.windowTitle(), box.font()));
        EXPECT_GE(box.width(), 240);
    });
    Dialogs::message(nullptr, QStringLiteral("    初始化成功!    "), QStringLiteral("初始化"));
    EXPECT_TRUE(looked);
}

TEST_F(QtTexts, TheCaptionRoomGrowsWithTheCaption)
{
    const QFont font;
    const QString longCaption = QStringLiteral("显示屏设置文件已损坏显示屏设置文件已损坏");
    EXPECT_GT(Dialogs::messageBoxMinimumWidth(longCaption, font), Dialogs::messageBoxMinimumWidth(QStringLiteral("错误"), font));
    EXPECT_GT(Dialogs::messageBoxMinimumWidth(longCaption, font), 2 * QFontMetrics(font).horizontalAdvance(longCaption));
}

TEST_F(QtTexts, TheFileDialogSpeaksChinese)
{
    bool looked = false;
    whenShown<QFileDialog>([&looked](QFileDialog &dialog) {
        looked = true;
        const QStringList texts = buttonTexts(dialog);
        EXPECT_TRUE(texts.contains(QStringLiteral("取消"))) << texts.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(texts.contains(QStringLiteral("Cancel")));
        EXPECT_FALSE(texts.contains(QStringLiteral("&Open")));
    });
    EXPECT_FALSE(Dialogs::openFile(nullptr, QStringLiteral("文本文件(*.txt)"), QString(), true));
    EXPECT_TRUE(looked);
}
