#pragma once
// What a window of places does with its filter box and its tree: the filter
// follows the typing once it pauses, Ctrl+F goes to it, Ctrl+C copies the
// current row's text, and the tree's context menu copies it too, with any
// more commands the window adds.

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class PlaceTreeModel;
class QLineEdit;
class QTreeView;
class QWidget;

class PlaceTreeControls : public QObject {
    Q_OBJECT
public:
    // `currentText` is the text Copy takes from the current row.
    PlaceTreeControls(QWidget* window, QLineEdit* filter, QTreeView* tree, PlaceTreeModel& model, bool russian,
                      std::function<QString()> currentText);

    // One more command in the context menu, after Copy.
    void addMenuCommand(const QString& text, std::function<void()> command);
    // Copies the current row's text, when there is a current row.
    void copyCurrent() const;

private:
    QTreeView* tree_;
    QTimer filterDelay_;
    std::function<QString()> currentText_;
    std::vector<std::pair<QString, std::function<void()>>> commands_;
};
