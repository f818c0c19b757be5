#pragma once

#include <QApplication>

#include <functional>

// The application object of a widget test, made once. Before it is made the
// per-user config and data folders point into a temporary folder, so tests
// never touch the settings of the user who runs them.
QApplication &qtTestApp();
// Ends it, for tests whose display goes away before the process does.
void endQtTestApp();

// Runs pending events until condition holds or timeoutMs passes; returns the condition.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
