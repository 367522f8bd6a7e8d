#pragma once
// Raw paths held in QByteArray: their bytes for file-system calls, and their
// printable form as text to show.

#include "platform/PrintablePath.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace gw {

// The raw bytes of a path held in a QByteArray, for file-system calls.
inline std::string_view rawView(const QByteArray& raw)
{
    return std::string_view(raw.constData(), static_cast<std::size_t>(raw.size()));
}

// The one printable form of a raw path, in the type the caller writes:
// std::string, UTF-8 bytes, or text.
inline std::string printable(const QByteArray& raw)
{
    return printable(rawView(raw));
}

inline QByteArray printableUtf8(const QByteArray& raw)
{
    return QByteArray::fromStdString(printable(rawView(raw)));
}

inline QString printableText(const QByteArray& raw)
{
    return QString::fromStdString(printable(rawView(raw)));
}

// The bytes of a std::string or view, as a QByteArray.
inline QByteArray byteArray(std::string_view bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The raw bytes of a path given in its printable form.
inline QByteArray rawOfPrintable(const QByteArray& printablePath)
{
    return QByteArray::fromStdString(rawFromPrintable(rawView(printablePath)));
}

} // namespace gw
