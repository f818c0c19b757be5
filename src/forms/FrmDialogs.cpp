#include "FrmDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QPushButton>
#include <QMessageBox>

#include <algorithm>

namespace Dialogs {

static Script *gScript = nullptr;

void setScript(Script *script)
{
    gScript = script;
}

Script *script()
{
    return gScript;
}

int messageBoxMinimumWidth(const QString &caption, const QFont &font)
{
    // Title fonts are often larger and bold: count the caption twice over,
    // plus room for an icon and three buttons.
    constexpr int titleBarFurniture = 120;
    return std::max(240, 2 * QFontMetrics(font).horizontalAdvance(caption) + titleBarFurniture);
}

void message(QWidget *parent, const QString &text, const QString &caption)
{
    if (gScript) {
        gScript->messages.push_back({text, caption});
        if (gScript->onMessage) gScript->onMessage(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setIcon(QIcon());  // some styles put a tick on it
    // Wide enough that the window manager's title bar, which also holds the
    // window's icon and buttons, shows the caption in full.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(messageBoxMinimumWidth(caption, box.font()), 0), grid->rowCount(), 0, 1,
                      grid->columnCount());
    box.exec();
}

std::optional<QString> openFile(QWidget *parent, const QString &filter, const QString &startPath,
                                bool mustExist)
{
    if (gScript && !gScript->files.empty()) return takeNext(gScript->files);
    QFileDialog dialog(parent, QString(), startPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial)
{
    if (gScript && !gScript->fonts.empty()) return takeNext(gScript->fonts);
    QFontDialog dialog(initial, parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // Effects (underline, strike-out) are not offered: the libraries can't hold them.
    for (QGroupBox *group : dialog.findChildren<QGroupBox *>())
        if (!group->findChildren<QCheckBox *>().isEmpty()) group->hide();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    QFont font = dialog.selectedFont();
    return font;
}

}  // namespace Dialogs
