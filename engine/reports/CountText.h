#pragma once
// A count and the noun it stands before, in the form the count asks for:
// "1 folder", "2 folders"; in Russian "1 папка", "3 папки", "5 папок",
// "21 папка", "11 папок".

#include <QByteArray>
#include <QString>

namespace gw {

QByteArray counted(long long n, const char* one, const char* many);
QString countedText(long long n, const char* one, const char* many);
QString countedRussian(long long n, const char* one, const char* few, const char* many);

} // namespace gw
