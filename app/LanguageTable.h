#pragma once
// The texts of the language switch: one row per assignment, both languages,
// in the order in which the switch performs them.

#include "engine/paced/CheckState.h"

#include <QString>

#include <vector>

class QWidget;

enum class RowKind {
    Lang, // the language code
    Text, // caption or text of a control or window, by object name
    Left, // the horizontal place of a label
    PageCaption, // GroupBox3: the checked-folder prefix and the selected path
    CopyCaption, // a page caption copied from GroupBox3
    Warnings, // the five texts of the missing-data warning, as the check state keeps them
};

struct LanguageRow {
    RowKind kind;
    QString window; // "Form1", "Form2" or "Form4"
    QString target; // object name, or the warning text's name
    QString ru;
    QString en;
};

const std::vector<LanguageRow>& languageTable();

// The language switch: performs the rows in order on the windows named in
// them, and sets the check state's language and warning texts.
// `selectedPrintable` is the selected folder's path for the folder page's caption.
struct NamedWindow {
    QString name; // "Form1", "Form2" or "Form4"
    QWidget* window;
};
void applyLanguage(bool english, const std::vector<NamedWindow>& windows, gw::CheckState& state,
                   const QString& selectedPrintable);
