#include "engine/checks/baseline/BaselineRecorder.h"

#include "platform/PrintablePath.h"

namespace gw {

BaselineRecorder::BaselineRecorder(BaselineWriter& writer, bool files)
    : writer_(writer)
    , files_(files)
{
}

void BaselineRecorder::askFiles(FileCheck& files) const
{
    files.keepAll = true; // every file is recorded
}

void BaselineRecorder::take(const WalkedFolder& folder)
{
    const Listing& l = folder.listing;
    raw_ = rawFromPrintable(folder.path);
    if (l.read)
        writer_.add(raw_, ItemKind::Folder, l.permissions);
    if (!files_)
        return;
    for (const FileListing& f : l.files.files) {
        if (!f.read)
            continue;
        rawFile_ = raw_;
        appendChild(rawFile_, f.rawName);
        writer_.add(rawFile_, ItemKind::File, f.permissions);
    }
}

} // namespace gw
