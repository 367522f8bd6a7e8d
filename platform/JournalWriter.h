#pragma once
// Structured records for the systemd journal, sent over its native socket
// (no library): each field as KEY=value, a value holding a line end in the
// protocol's length-prefixed form.

#include <QByteArray>

#include <utility>
#include <vector>

namespace gw {

class JournalWriter {
public:
    using Fields = std::vector<std::pair<QByteArray, QByteArray>>;
    // True when this process was started by systemd with its output going
    // to the journal (JOURNAL_STREAM and INVOCATION_ID are set).
    static bool startedBySystemd();
    // Sends one record; 0 or an errno value.
    static int send(const Fields& fields);
    // The record as the protocol writes it (for tests).
    static QByteArray datagram(const Fields& fields);
};

} // namespace gw
