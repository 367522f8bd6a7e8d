#pragma once
// The window's messages in the window's language: what failed, with the
// system's reason, in Russian or in English.

#include <QByteArray>
#include <QString>

#include "platform/SystemErrorText.h"

namespace gw {

enum class FileAction {
    Read,
    Write,
};

// The system's reason for `error` (an errno value): in Russian for the
// reasons a check meets, otherwise as the system gives it.
QString systemErrorText(int error, const QString& lang);

// The language `lang` names: "RU" Russian, anything else English.
Language language(const QString& lang);

// "Cannot read PATH: reason" or "Cannot write PATH: reason", with the
// printable path, in the language `lang` names ("RU", anything else English).
QString fileErrorText(FileAction action, const QByteArray& rawPath, int error, const QString& lang);

// "Cannot create a working folder in PATH: reason".
QString workingFolderErrorText(const QByteArray& rawBase, int error, const QString& lang);

// An error a window handler raised, as the window shows it: the folder
// tree's own errors ("Error setting path: ...", "Invalid index") and running
// out of memory in the window's language; anything else as it came.
QString handlerErrorText(const QString& what, const QString& lang);
QString unknownErrorText(const QString& lang);

// A message of its own, begun as a sentence: "cannot write ..." as "Cannot write ...".
QString sentence(const QString& message);

} // namespace gw
