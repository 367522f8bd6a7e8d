#pragma once
// Opening files and addresses with the desktop's default opener
// (QDesktopServices, which runs xdg-open on Linux), without waiting.
// Tests put a recorder in its place.

#include <QByteArray>
#include <QUrl>

#include <functional>

std::function<void(const QUrl&)>& desktopOpener();

// A file URL that keeps every byte of a raw path.
QUrl fileUrl(const QByteArray& rawPath);

// The home page address, shown and opened by the Help and About windows.
extern const char kHomePage[];
