#include "app/form1.h"
#include "platform/platformservices.h"
#include "platform/qt/qtdialogs.h"
#include "platform/qt/qtmessageboxes.h"

#include <QApplication>
#include <QLocale>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vocatext"_s);
    QApplication::setOrganizationName(u"Quillmark"_s);

    PlatformServices platform(QCoreApplication::applicationDirPath(), QLocale::system().name());
    QtMessageBoxes boxes;
    QtFileDialogs dialogs;
    QtShell shell;
    Services services = platform.Wire();
    services.boxes = &boxes;
    services.dialogs = &dialogs;
    services.shell = &shell;

    Form1 window(services);
    window.SetBeforeExit([&platform] { platform.working.Release(); });
    boxes.SetParent(&window);
    dialogs.SetParent(&window);
    if (!window.Form_Load())
        return 0; // no speech engine: the window is never shown
    window.show();
    return app.exec();
}
