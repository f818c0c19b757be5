#include "PanelPicture.h"

#include <QSaveFile>

namespace hxsim {

bool writePanelPng(const QImage &picture, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace hxsim
