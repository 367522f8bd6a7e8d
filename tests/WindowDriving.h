#pragma once
// Driving the main window as a person would, for the window tests.

#include "TForm1.h"

#include <QtTest>

#include <string>

namespace gwtest {

// Expands the folder tree down to `path` and clicks on it.
inline void chooseFolder(TForm1& form, const std::string& path)
{
    QTreeView* view = form.ui.ShellTreeView1;
    const QModelIndex index = form.folderModel().indexForPath(QByteArray::fromStdString(path));
    QVERIFY(index.isValid());
    for (QModelIndex i = index.parent(); i.isValid(); i = i.parent())
        view->expand(i);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    QCOMPARE(view->currentIndex(), index);
}

} // namespace gwtest
