#include "engine/checks/who/WhoCheck.h"
#include "platform/PrintableText.h"

#include "platform/PrintablePath.h"
#include "platform/WorkingFolder.h"

namespace gw {

WhoCheck::WhoCheck(const Principal& who, const QByteArray& rawFolder, const QByteArray& printableFolder, bool files)
    : inventory_(who, rawFolder, printableFolder)
    , files_(files)
{
}

void WhoCheck::askFiles(FileCheck& files) const
{
    files.keepAll = true; // every file's rights are asked
}

void WhoCheck::take(const WalkedFolder& folder)
{
    const Listing& l = folder.listing;
    inventory_.take(l.id, l.parent, folder.path, l.read, l.permissions, l.reason, files_ ? &l.files : nullptr);
}

void WhoCheck::finish(const WalkEnd& end)
{
    WhoFindings& who = inventory_.findings();
    who.hiddenLeftOut = end.tree.hiddenLeftOut();
    for (const QByteArray& path : end.analysis.inputs.notListedPaths) {
        if (!who.notListed.contains(path))
            who.notListed.append(path);
    }
    // A folder found but never entered: its rights are unknown, never taken
    // for those of the folder above it.
    for (const QByteArray& path : end.notEntered) {
        WhoPlace place;
        place.path = path;
        place.rawPath = rawOfPrintable(path);
        place.reason = "it was found, but could not be entered";
        who.places.append(place);
        ++who.folders;
        ++who.unknown;
    }
}

void WhoCheck::addReports(std::vector<ReportsFolder::Report>& out, const WalkEnd& end)
{
    text_ = whoReport(inventory_.findings(), end.notChecked);
    out.push_back({WorkingFolder::kWhoName, {text_}}); // a view of it: it outlives the writing
}

std::vector<const char*> WhoCheck::reportNames() const
{
    return {WorkingFolder::kWhoName};
}

QString WhoCheck::verdict(const QString& lang) const
{
    return whoVerdict(lang, inventory_.findings());
}

bool WhoCheck::complete() const
{
    return inventory_.findings().complete();
}

bool WhoCheck::green() const
{
    return complete();
}

} // namespace gw
