#pragma once
// The baselines of one batch check, set up and finished the same way by
// grantwise-check and by the window: the baseline the check is compared
// with (the drift check), whose head is read before the check and which is
// refused when it is no baseline of the checked folder; and the baseline the
// check saves, refused before the check where it would be refused after,
// recorded on the way and written only when the check read and listed
// everything (a baseline is whole or not written).
//
//     BaselineRun baselines(language);
//     baselines.compareWith(file, folder);      // before the reports folder is open
//     baselines.saveTo(file, reports);          // once it is open
//     baselines.attach(options);                // then runBatchCheck(options)
//     baselines.finish(options, result);        // after it
//
// Each step returns an empty text, or why the run cannot go on, in the
// language given.

#include "engine/checks/baseline/BaselineDrift.h"
#include "engine/checks/baseline/BaselineFile.h"
#include "engine/run/BatchCheck.h"
#include "platform/SystemErrorText.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <string>

namespace gw {

class BaselineRun {
public:
    explicit BaselineRun(Language language = Language::English);
    ~BaselineRun();
    BaselineRun(const BaselineRun&) = delete;
    BaselineRun& operator=(const BaselineRun&) = delete;

    // Opens the baseline at `path` (absolute, raw) and reads its head: it
    // must be a baseline of `folder` (absolute, raw).
    [[nodiscard]] std::string compareWith(const QByteArray& path, const QByteArray& folder);
    // The baseline to save at `path` (absolute, raw), through `reports`, the
    // run's open reports folder.
    [[nodiscard]] std::string saveTo(const QByteArray& path, ReportsFolder& reports);
    // Hands the baselines to `options` for the check; its folder, scope,
    // files and reports folder are set already. With `json`, the drift
    // check gathers its JSON lines.
    void attach(BatchOptions& options, bool json = false);
    // After the check: a baseline compared with that turned out malformed on
    // the way fails the run; the baseline to save is written when nothing
    // was missed.
    [[nodiscard]] std::string finish(const BatchOptions& options, const BatchResult& result);

    BaselineDrift* drift() const { return drift_.get(); }
    bool saved() const { return saved_; }
    // What kept the baseline from being saved: items not read or not listed.
    qsizetype missing() const { return missing_; }
    // "Baseline not saved: ..." when a baseline was to be saved and was not;
    // empty otherwise.
    QString notSavedLine() const;
    const QByteArray& savePath() const { return savePath_; }

private:
    std::string baselineFailure(const BaselineError& e) const;

    Language language_;
    QByteArray comparePath_, savePath_;
    ReportsFolder* reports_ = nullptr;
    std::unique_ptr<BaselineReader> reader_;
    std::unique_ptr<BaselineDrift> drift_;
    std::unique_ptr<BaselineWriter> writer_;
    QString taken_; // when the check began, for the baseline's head
    bool saved_ = false;
    qsizetype missing_ = 0;
};

} // namespace gw
