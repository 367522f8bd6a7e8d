#pragma once
// A CheckView that records what the engine does to the window, answers the
// Yes/No box as the test says, and drives whole checks through the handlers.

#include "engine/paced/CheckEngine.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace gwtest {

class RecordingView : public gw::CheckView {
public:
    gw::CheckEngine* engine = nullptr;
    std::map<gw::Control, QString> texts;
    std::map<gw::Control, bool> visible, enabled;
    std::map<gw::Bar, int> bars;
    std::map<gw::Timer, bool> timers;
    std::map<gw::Timer, int> intervals;
    int slider = 3;
    gw::Light light = gw::Light::Off;
    std::deque<bool> answers; // Yes/No answers, in order; No when empty
    std::vector<std::pair<QString, QString>> asked; // caption and text of every box
    std::vector<QString> errors;
    std::vector<QByteArray> opened;
    std::function<void()> onEvents; // runs at each processing of events

    void setVisible(gw::Control c, bool v) override { visible[c] = v; }
    void setEnabled(gw::Control c, bool e) override { enabled[c] = e; }
    void setText(gw::Control c, const QString& t) override { texts[c] = t; }
    QString text(gw::Control c) const override
    {
        const auto it = texts.find(c);
        return it == texts.end() ? QString() : it->second;
    }
    void replaceLines(gw::Control c, int lines, const QString& t) override
    {
        QString& whole = texts[c];
        qsizetype at = 0;
        for (int i = 0; i < lines && at >= 0; ++i)
            at = whole.indexOf(QLatin1Char('\n'), at) < 0 ? -1 : whole.indexOf(QLatin1Char('\n'), at) + 1;
        whole = t + (at < 0 ? QString() : QStringLiteral("\r\n") + whole.mid(at));
    }
    int setProgress(gw::Bar b, int v) override { return bars[b] = std::clamp(v, 0, 100); }
    int progress(gw::Bar b) const override
    {
        const auto it = bars.find(b);
        return it == bars.end() ? 0 : it->second;
    }
    void setTimerEnabled(gw::Timer t, bool e) override { timers[t] = e; }
    void setTimerInterval(gw::Timer t, int ms) override { intervals[t] = ms; }
    int sliderPosition() const override { return slider; }
    void setSliderPosition(int p) override
    {
        slider = p;
        engine->TrackBar1Change();
    }
    void setLight(gw::Light l) override { light = l; }
    void focusFolderTree() override { }
    void processEvents() override
    {
        if (onEvents)
            onEvents();
    }
    bool askYesNo(const QString& caption, const QString& text) override
    {
        asked.emplace_back(caption, text);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void showError(const QString& text) override { errors.push_back(text); }
    void openFile(const QByteArray& path) override { opened.push_back(path); }

    bool timer(gw::Timer t) const
    {
        const auto it = timers.find(t);
        return it != timers.end() && it->second;
    }
};

// Runs the reading, verification and analysis by calling the timers'
// handlers while their timers are enabled. With `inOrder`, each listing is
// awaited before the next tick, so the dump is in folder order.
void runTimers(gw::CheckEngine& engine, RecordingView& view, bool inOrder = false);

// Chooses `folder`, scans, and runs the whole check.
void runCheck(gw::CheckEngine& engine, RecordingView& view, const std::string& folder, bool inOrder = false);

} // namespace gwtest
