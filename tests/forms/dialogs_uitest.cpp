// The message box and the file dialog as the user sees them: Qt's own texts
// in Simplified Chinese whatever the locale, no icon, room for the caption.
#include "FrmDialogs.h"
#include "FrmPwd.h"
#include "LocalTimeZone.h"
#include "ProgramSetup.h"
#include "QtTestApp.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

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

TEST_F(QtTexts, TheFileDialogSpeaksChineseInItsButtonsAndItsList)
{
    LocalTimeZone china("CST-8");
    TempDir dir;
    ::mkdir(dir.file("子文件夹").c_str(), 0700);
    dir.write("新闻.txt", std::string(3000, 'x'));
    ASSERT_TRUE(setModificationTime(dir.file("新闻.txt"), 1700000000));  // 2023-11-15 06:13:20 in China

    bool looked = false;
    whenShown<QFileDialog>([&looked](QFileDialog &dialog) {
        looked = true;
        const QStringList texts = buttonTexts(dialog);
        EXPECT_TRUE(texts.contains(QStringLiteral("取消"))) << texts.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(texts.contains(QStringLiteral("Cancel")));
        EXPECT_FALSE(texts.contains(QStringLiteral("&Open")));

        const auto *list = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
        ASSERT_NE(list, nullptr);
        const QAbstractItemModel &files = *list->model();
        ASSERT_TRUE(waitUntil([&] { return files.rowCount(list->rootIndex()) == 2; }));
        const auto cell = [&](const char *name, int column) {  // columns: name, size, type, date
            const QModelIndexList row = files.match(files.index(0, 0, list->rootIndex()), Qt::DisplayRole,
                                                    QString::fromUtf8(name), 1, Qt::MatchExactly);
            return row.isEmpty() ? std::string() : row[0].siblingAtColumn(column).data().toString().toStdString();
        };
        EXPECT_EQ(cell("子文件夹", 2), "文件夹");
        EXPECT_EQ(cell("新闻.txt", 1), "2.9 kB");
        EXPECT_EQ(cell("新闻.txt", 3), "2023/11/15 06:13");
    });
    EXPECT_FALSE(Dialogs::openFile(nullptr, QStringLiteral("文本文件(*.txt)"), QString::fromStdString(dir.path()), true));
    EXPECT_TRUE(looked);
}

// On top of the window that asks, without minimise or maximise buttons, and
// fixed in size where nothing in it would gain from more room.
TEST_F(QtTexts, PromptsMessagesAndTheFileDialogAreDialogsOfTheirWindow)
{
    QWidget owner;
    owner.show();
    int looked = 0;
    const auto expectDialogOf = [&](bool fixedSize) {
        whenShown<QDialog>([&owner, &looked, fixedSize](QDialog &dialog) {
            ++looked;
            EXPECT_EQ(dialog.windowType(), Qt::Dialog);
            EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            ASSERT_NE(dialog.windowHandle(), nullptr);
            EXPECT_EQ(dialog.windowHandle()->transientParent(), owner.windowHandle());
            EXPECT_EQ(dialog.minimumSize() == dialog.maximumSize(), fixedSize);
        });
    };
    expectDialogOf(true);
    TFormPwd::ask(&owner, QStringLiteral("口令"));
    expectDialogOf(true);
    Dialogs::message(&owner, QStringLiteral("    口令错误!    "), QStringLiteral("错误"));
    expectDialogOf(false);
    Dialogs::openFile(&owner, QStringLiteral("文本文件(*.txt)"), QString(), true);
    EXPECT_EQ(looked, 3);
}
