// The differences window with many places: how long it takes to open, to
// scroll from top to bottom, to expand every place on the way and to filter,
// and the longest time the event loop went without running a 5 ms timer.
//
//   differences_window_bench [PLACES]
//
// By default 100,000 places of three lines each; the target is no stall over
// 200 ms.

#include "DifferencesWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::vector<DifferencePlace> places;
    places.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        DifferencePlace p;
        p.path = "/srv/share/team " + QByteArray::number(i % 97) + "/project " + QByteArray::number(i);
        p.sameBelow = i % 5;
        p.changes = {{gw::EntryChange::Added, {}, "user " + QByteArray::number(1000 + i % 50) + ":rwx"},
                     {gw::EntryChange::Removed, "group team:r-x", {}},
                     {gw::EntryChange::Changed, "mask:rwx", "mask:r-x"}};
        places.push_back(std::move(p));
    }

    // The longest gap between two ticks of a 5 ms timer: how long the window
    // did not answer.
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
    QElapsedTimer step;
    const auto settle = [&] {
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents();
    };

    step.start();
    DifferencesWindow window(nullptr, QStringLiteral("bench"), std::move(places), false, {});
    window.show();
    settle();
    const qint64 open = step.elapsed();

    sinceTick.start();
    tick.start();
    step.restart();
    QScrollBar* bar = window.ui.places->verticalScrollBar();
    for (int k = 0; k <= 100; ++k) { // top to bottom in a hundred steps, expanding what is shown
        bar->setValue(bar->maximum() * k / 100);
        window.ui.places->expand(window.ui.places->indexAt(QPoint(5, 5)));
        settle();
    }
    const qint64 scroll = step.elapsed();
    step.restart();
    window.model().setFilter(QStringLiteral("user 1042"));
    settle();
    const qint64 filter = step.elapsed();
    const int kept = window.model().rowCount();
    window.model().setFilter(QString());
    settle();
    tick.stop();
    std::printf("places: %d\nopen: %lld ms\nscroll top to bottom (100 steps): %lld ms\nfilter: %lld ms (%d kept)\n"
                "longest event-loop stall while scrolling and filtering: %lld ms (target at most 200)\n",
                count, static_cast<long long>(open), static_cast<long long>(scroll), static_cast<long long>(filter),
                kept, static_cast<long long>(longest));
    return 0;
}
