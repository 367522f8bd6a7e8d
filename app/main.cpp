// Grantwise: do all subfolders carry the same permissions as their folder?

#include "ExitSignals.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm4.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <vector>

namespace {

const char kUsage[] = "Usage: grantwise [--help] [--version] [Qt options such as -platform NAME]\n";
const char kHelp[] = "Opens the Grantwise window: pick a folder, and it checks that every\n"
                     "subfolder carries the same POSIX permissions as the folder itself; the\n"
                     "File menu asks the other questions: what each item's own folder gives\n"
                     "it, what changed since a baseline, and who can read, write and enter\n"
                     "where.\n"
                     "The check from the command line is grantwise-check.\n"
                     "\n"
                     "  --help       print this and exit\n"
                     "  --version    print the version and exit\n";

// Our own options, and Qt's (which the application object takes), in GNU
// form; anything else is refused before a window opens. Returns -1 to go on,
// or the exit status.
int takeOptions(int argc, char** argv)
{
    static const option options[] = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {"platform", required_argument, nullptr, 0},
        {"platformpluginpath", required_argument, nullptr, 0},
        {"platformtheme", required_argument, nullptr, 0},
        {"plugin", required_argument, nullptr, 0},
        {"qwindowgeometry", required_argument, nullptr, 0},
        {"qwindowicon", required_argument, nullptr, 0},
        {"qwindowtitle", required_argument, nullptr, 0},
        {"display", required_argument, nullptr, 0},
        {"geometry", required_argument, nullptr, 0},
        {"style", required_argument, nullptr, 0},
        {"stylesheet", required_argument, nullptr, 0},
        {"session", required_argument, nullptr, 0},
        {"reverse", no_argument, nullptr, 0},
        {"widgetcount", no_argument, nullptr, 0},
        {"nograb", no_argument, nullptr, 0},
        {"dograb", no_argument, nullptr, 0},
        {"sync", no_argument, nullptr, 0},
        {nullptr, 0, nullptr, 0},
    };
    std::vector<char*> args(argv, argv + argc); // getopt reorders; Qt gets the original
    args.push_back(nullptr);
    opterr = 0;
    optind = 1;
    for (int c; (c = ::getopt_long_only(argc, args.data(), "hV", options, nullptr)) != -1;) {
        if (c == 'h')
            return std::printf("%s%s", kUsage, kHelp) < 0 || std::fflush(stdout) != 0 ? 2 : 0;
        if (c == 'V')
            return std::printf("grantwise %s\n", GRANTWISE_VERSION) < 0 || std::fflush(stdout) != 0 ? 2 : 0;
        if (c == '?' || c == ':') {
            std::fprintf(stderr, "grantwise: unknown option %s\n%s", args[static_cast<std::size_t>(optind - 1)],
                         kUsage);
            return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "grantwise: unexpected argument %s\n%s", args[static_cast<std::size_t>(optind)], kUsage);
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int status = takeOptions(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/grantwise.png")));
    QApplication::setDesktopFileName(QStringLiteral("io.github.grantwise.Grantwise"));
    // The layout's face at its pixel height; Liberation Sans has the
    // proportions of the system face the layout was drawn for.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    TForm1 Form1;
    TForm2 Form2(&Form1);
    TForm4 Form4(&Form1);
    Form1.setSmallWindows(&Form2, &Form4);
    // Told to end: the window closes as File > Close does, and the event
    // loops end, a modal box's too.
    ExitSignals exitSignals([&Form1] {
        Form1.close();
        QCoreApplication::exit(0);
    });
    Form1.show();
    return QApplication::exec();
}
