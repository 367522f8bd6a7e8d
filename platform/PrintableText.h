#pragma once
// Raw paths held in QByteArray: their bytes for file-system calls, and their
// printable form as text to show.

#include "platform/PrintablePath.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace gw {

inline std::string_view bytesOf(const QByteArray& raw)
{
    return std::string_view(raw.constData(), static_cast<std::size_t>(raw.size()));
}

inline QByteArray printableBytes(const QByteArray& raw)
{
    return QByteArray::fromStdString(printable(bytesOf(raw)));
}

inline QString printableText(const QByteArray& raw)
{
    return QString::fromStdString(printable(bytesOf(raw)));
}

} // namespace gw
