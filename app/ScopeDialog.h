#pragma once
// File > What to check…: what the window's checks take in and compare, as
// grantwise-check's scope options set them: hidden folders, patterns to
// leave out, a depth, other file systems, and the owner's and owning group's
// names left out of the comparison.

#include "engine/rules/Differences.h"
#include "platform/FolderTree.h"
#include "ui_ScopeDialog.h"

#include <QDialog>

class ScopeDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `scope` and `ignored`, in Russian or English.
    ScopeDialog(QWidget* parent, bool russian, const gw::FolderScope& scope, const gw::IgnoredParts& ignored);

    // What the controls say now. Patterns are taken one a line, as typed;
    // empty lines are none.
    gw::FolderScope scope() const;
    gw::IgnoredParts ignored() const;

    Ui::ScopeDialog ui;

private:
    void useEnglish();
};
