#pragma once
// A folder's name as the folder tree shows it: as a file manager would, not
// in the escaped printable form that captions, listings and reports use.

#include <QByteArray>
#include <QString>

// The raw name decoded as UTF-8: each byte that is not part of a well-formed
// sequence shows as U+FFFD, each C0 control as its control picture
// (U+2400 + code: a line feed is U+240A), DEL as U+2421, and a blank that ends
// the name as U+2423, so that it does not vanish. C1 controls, format
// characters (the bidirectional controls, which would reorder what is shown,
// the zero-width spaces and joiners ...) and spaces other than U+0020, which
// would show two different names alike, show as U+FFFD.
QString displayName(const QByteArray& raw);
