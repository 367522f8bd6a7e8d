#include "engine/reports/CountText.h"

namespace gw {

QByteArray counted(long long n, const char* one, const char* many)
{
    return QByteArray::number(n) + ' ' + (n == 1 ? one : many);
}

QString countedText(long long n, const char* one, const char* many)
{
    return QString::fromUtf8(counted(n, one, many));
}

QString countedRussian(long long n, const char* one, const char* few, const char* many)
{
    const long long last = (n < 0 ? -n : n) % 100;
    const char* noun = last / 10 == 1 ? many : last % 10 == 1 ? one : last % 10 >= 2 && last % 10 <= 4 ? few : many;
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(noun);
}

} // namespace gw
