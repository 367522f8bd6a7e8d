#include "platform/WorkingFolder.h"

#include <cstdlib>
#include <unistd.h>

namespace gw {

QByteArray WorkingFolder::base()
{
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base;
}

QByteArray WorkingFolder::create()
{
    const QByteArray base = WorkingFolder::base();
    QByteArray pattern = base + (base.endsWith('/') ? "" : "/") + "grantwise-XXXXXX";
    if (!::mkdtemp(pattern.data())) // mode 0700
        return QByteArray();
    return pattern;
}

void WorkingFolder::remove(const QByteArray& folder)
{
    if (folder.isEmpty())
        return;
    for (const QByteArray& file :
         {fullReportFile(folder), referenceFile(folder), mismatchFile(folder), differencesFile(folder),
          inheritanceFile(folder), driftFile(folder), whoFile(folder)})
        ::unlink(file.constData());
    ::rmdir(folder.constData()); // only succeeds when nothing else is left
}

} // namespace gw
