// The tray icon's share of the transfer status: a mark over the icon while a
// watched display is not up to date, and a tool tip naming each such display.
#pragma once

#include "TransferStatus.h"

#include <QIcon>
#include <QSystemTrayIcon>

namespace TrayStatus {

// icon with a red badge over the lower right corner of each of its pictures.
QIcon markedIcon(const QIcon &icon);

// Shows status on tray now and whenever a line of its tool tip changes; icon is
// the unmarked icon.
void follow(QSystemTrayIcon &tray, const QIcon &icon, TransferStatus &status);

}  // namespace TrayStatus
