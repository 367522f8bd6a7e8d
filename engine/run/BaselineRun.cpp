#include "engine/run/BaselineRun.h"

#include "engine/checks/folder/FixFile.h"
#include "platform/PrintablePath.h"

#include <QDateTime>

#include <unistd.h>

namespace gw {

BaselineRun::BaselineRun(Language language)
    : language_(language)
{
}

BaselineRun::~BaselineRun() = default;

std::string BaselineRun::baselineFailure(const BaselineError& e) const
{
    if (e.line() <= 0)
        return e.what();
    return printable(comparePath_.toStdString()) + inLanguage(language_, ": line ", ": строка ")
        + std::to_string(e.line()) + ": " + e.what();
}

std::string BaselineRun::compareWith(const QByteArray& path, const QByteArray& folder)
{
    comparePath_ = path;
    try {
        reader_ = std::make_unique<BaselineReader>(path, language_);
    } catch (const BaselineError& e) {
        return baselineFailure(e);
    }
    if (reader_->head().rawFolder != folder.toStdString()) {
        const std::string other = printable(reader_->head().rawFolder);
        reader_.reset();
        return printable(path.toStdString()) + inLanguage(language_, " is a baseline of ", " — снимок папки ") + other
            + inLanguage(language_, ", not of ", ", а не ") + printable(folder.toStdString());
    }
    return {};
}

std::string BaselineRun::saveTo(const QByteArray& path, ReportsFolder& reports)
{
    if (std::string problem = restoreFileRefusal(path, "the baseline", &reports, language_); !problem.empty())
        return problem;
    savePath_ = path;
    reports_ = &reports;
    return {};
}

void BaselineRun::attach(BatchOptions& options, bool json)
{
    taken_ = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    if (reports_) {
        writer_ = std::make_unique<BaselineWriter>(*reports_, isCompressedName(savePath_));
        options.saveBaseline = writer_.get();
    }
    if (reader_) {
        DriftScope scope;
        scope.files = options.files;
        scope.includeHidden = options.scope.includeHidden;
        scope.maxDepth = options.scope.maxDepth;
        drift_ = std::make_unique<BaselineDrift>(*reader_, comparePath_, scope, *options.reports);
        if (json)
            drift_->gatherJson();
        options.drift = drift_.get();
    }
}

std::string BaselineRun::finish(const BatchOptions& options, const BatchResult& result)
{
    if (drift_ && drift_->error()) // the baseline changed under the check
        return baselineFailure(*drift_->error());
    if (!writer_)
        return {};
    const ReportInputs& unread = result.analysis.inputs;
    missing_ = unread.notRead + unread.notListed + (options.files ? result.filesNotRead + result.filesNotListed : 0);
    // One that misses what could not be read or listed would later call all of it new.
    if (missing_ > 0)
        return {};
    BaselineHead head;
    head.rawFolder = options.folder.toStdString();
    head.taken = taken_.toStdString();
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    head.host = host;
    head.files = options.files ? 0 : -1;
    if (std::string problem = saveRestoreParts(savePath_, writer_->parts(head), "the baseline", reports_, language_);
        !problem.empty())
        return problem;
    saved_ = true;
    return {};
}

QString BaselineRun::notSavedLine() const
{
    if (!writer_ || saved_ || missing_ == 0)
        return {};
    return language_ == Language::Russian
        ? QStringLiteral("Базовый снимок не сохранён: не прочитаны или не перечислены: %1 (снимок был бы неполным)")
              .arg(missing_)
        : QStringLiteral("Baseline not saved: not read or not listed: %1 (it would not be whole)").arg(missing_);
}

} // namespace gw
