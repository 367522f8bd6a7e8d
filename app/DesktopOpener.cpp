#include "DesktopOpener.h"

#include <QDesktopServices>

const char kHomePage[] = "https://grantwise.example.org/";

std::function<void(const QUrl&)>& desktopOpener()
{
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

QUrl fileUrl(const QByteArray& rawPath)
{
    return QUrl::fromEncoded("file://" + rawPath.toPercentEncoding("/"), QUrl::StrictMode);
}
