#pragma once
// The texts of the language switch: one row per assignment, both languages,
// in the order in which the switch performs them.

#include <QString>

#include <vector>

enum class RowKind {
    Lang,        // the language code
    Text,        // caption or text of a control or window, by object name
    Left,        // the horizontal place of a label
    PageCaption, // GroupBox3: the checked-folder prefix and the selected path
    CopyCaption, // a page caption copied from GroupBox3
    Warning,     // one of the five texts of the missing-data warning
};

struct LanguageRow {
    RowKind kind;
    QString window; // "Form1", "Form2" or "Form4"
    QString target; // object name, or the warning text's name
    QString ru;
    QString en;
};

const std::vector<LanguageRow>& languageTable();
