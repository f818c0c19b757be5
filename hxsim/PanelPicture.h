// The panel picture as hxsim --png keeps it on disk.
#pragma once

#include "panel/QtPanelPicture.h"

#include <QString>

namespace hxsim {

// Replaces path with the picture as a PNG in one step (temporary file, then
// rename), so a reader never sees half a file. On failure error says why.
bool writePanelPng(const QImage &picture, const QString &path, QString *error);

} // namespace hxsim
