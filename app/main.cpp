#include "app/form1.h"
#include "services/platformservices.h"
#include "ui/boxreports.h"
#include "qtui/qtdialogs.h"
#include "qtui/qtmessageboxes.h"

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int g_closePipe[2] = {-1, -1};

extern "C" void OnCloseSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_closePipe[1], &byte, 1);
}

// A session that ends (SIGTERM, SIGHUP, Ctrl+C in the terminal that started it) closes
// the window as its close button does.
void CloseOnSignals(QWidget &window)
{
    if (::pipe2(g_closePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
    auto *notifier = new QSocketNotifier(g_closePipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] { window.close(); });
}

// Without a display, Qt would stop with an error about its platform plugin; say what is
// wrong and what works instead.
bool HasDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!HasDisplay()) {
        std::fprintf(stderr, "vocatext: no display to show the window on (DISPLAY is not set); to convert without a "
                             "window, use vocatext-convert (see vocatext-convert --help)\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vocatext"_s);
    QApplication::setOrganizationName(u"Quillmark"_s);

    PlatformServices platform(QCoreApplication::applicationDirPath(), QLocale::system().name());
    QtMessageBoxes boxes;
    QtFileDialogs dialogs;
    QtShell shell;
    BoxReports reports(boxes);
    Services services(platform.Wire());
    services.boxes = &boxes;
    services.reports = &reports;
    services.dialogs = &dialogs;
    services.shell = &shell;

    Form1 window(services);
    window.SetBeforeExit([&platform] { platform.working.Release(); });
    boxes.SetParent(&window);
    dialogs.SetParent(&window);
    CloseOnSignals(window);
    if (!window.Form_Load())
        return 0; // no speech engine: the window is never shown
    window.show();
    return app.exec();
}
