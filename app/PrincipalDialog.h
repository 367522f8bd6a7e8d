#pragma once
// Whose rights to ask about: anyone, a user or a group from the system's
// list (KnownPrincipals), which the box above it filters, or a name or
// number typed in that box ("group:NAME" for a group). Both are looked up
// as grantwise-check --who looks them up (lookUpPrincipal); one that names
// no user or group is said, and the dialog stays open.

#include "platform/KnownPrincipals.h"
#include "ui_PrincipalDialog.h"

#include <QDialog>

class PrincipalDialog : public QDialog {
    Q_OBJECT
public:
    PrincipalDialog(QWidget* parent, bool russian, const std::vector<gw::KnownPrincipal>& known);

    Ui::PrincipalDialog ui;
    // What is looked up: the chosen row's text for lookUpPrincipal, else
    // what was typed; empty for nothing yet.
    QByteArray lookup() const;
    // The principal looked up, once accepted.
    const gw::Principal& principal() const { return principal_; }
    void accept() override;

protected:
    // Down in the name box goes to the list's first row that is shown.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filter(const QString& text);
    void showChoice();
    gw::Principal principal_;
    bool russian_;
};
