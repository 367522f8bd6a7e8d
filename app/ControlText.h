#pragma once
// Setting the text a control shows, whatever kind of control it is.

#include <QString>

#include <functional>

class QObject;

// Texts of the engine and of the language table end lines in CR LF; the
// controls want LF. One pass, whatever the length.
QString withLineFeeds(const QString& text);

// Sets what `target` shows: a window's title, a menu's title, an action's,
// a button's or a label's text, a group box's caption, a memo's text. A long
// memo text goes in piece by piece with events handled in between, so the
// window never stops answering; `stillOpen`, when given, ends that early.
void setControlText(QObject* target, const QString& text, const std::function<bool()>& stillOpen = {});
