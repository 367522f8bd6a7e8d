#pragma once
// The state of a check: everything the phases of a check hand to one another.
// One set per process, reused by every check; each phase overwrites what it
// writes and nothing else is reset between checks.

#include "engine/reports/LanguageText.h"
#include <QByteArray>

#include <QString>

namespace gw {

struct CheckState {
    int FolderIndex = 0; // next folder the pump lists; the folder count when the sentinel is due
    int SpeedFactor = 0; // pacing: the pump fires every SpeedFactor x 25 ms
    int MismatchCount = 0; // listings the analysis judged as mismatches
    QString ReportHeader; // scan summary: chosen folder, subfolder count, deepest level

    // Time stamps are days on a clock that never jumps back (not the time of
    // day), so a phase that runs across midnight shows its true length.
    double PhaseStart = 0.0;
    double ReadEnd = 0.0;
    double CheckEnd = 0.0;
    double AnalysisEnd = 0.0;
    // Durations, in days.
    double ScanTime = 0.0;
    double ReadTime = 0.0;
    double CheckTime = 0.0;
    double AnalysisTime = 0.0;

    // Estimates and countdown, in whole seconds.
    int EstTotal = 0;
    int EstRead = 0;
    int EstCheck = 0;
    int EstAnalysis = 0;
    int SecondsLeft = 0;

    int MaxLevel = 0; // deepest level of the folder list; the chosen folder is level 0

    // WinDir holds the raw path of this run's private working folder (mode
    // 0700, made once at the first show of the window). The three working
    // files acl.txt, acl_1.txt and acl_def.txt lie inside it. Empty until
    // FormShow, or when no folder could be made.
    QByteArray WinDir;

    QString Lang; // "RU" or "EN"; empty until FormShow

    // The missing-data warning, in the current language.
    QString WarnCaption;
    QString WarnFound;
    QString WarnMissed;
    QString WarnRetry;
    QString WarnAnalyse;
};

// The state's part of FormShow: SpeedFactor 8, EstTotal 0, Lang "RU", the
// working folder (made only once per run), the Russian warning texts.
void FormShowDefaults(CheckState& state);

// The Russian and English warning texts.
void setWarningTexts(CheckState& state, bool english);

// FormClose: deletes the three working files, ignoring failures, and removes
// the working folder when it is empty.
void FormClose(CheckState& state);

} // namespace gw
