#include "FrmDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QGroupBox>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QMessageBox>
#include <QTreeView>

#include <algorithm>

namespace Dialogs {

namespace {

// The file dialog's list as the rest of the program speaks: Qt's own model
// takes the type of a folder from a text its Chinese translation lacks, and
// sizes and dates from the system's locale, which is often English.
class ChineseFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files) return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            if (files->isDir(source)) break;
            return QLocale().formattedDataSize(files->size(source), 1, QLocale::DataSizeTraditionalFormat);
        case TypeColumn:
            if (files->isDir(source)) return QStringLiteral("文件夹");
            break;
        case DateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    // QFileSystemModel's columns: name, size, type, date modified.
    enum { SizeColumn = 1, TypeColumn = 2, DateColumn = 3 };
};

}  // namespace

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
    // A desktop's own dialog would speak the system's language.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ChineseFileList(&dialog));
    // Chinese types ("纯文本文档") are wider than the columns Qt sizes for English.
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView")))
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
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
