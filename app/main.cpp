#include "app/form1.h"
#include "common/eventloop.h"
#include "common/services.h"
#include "platform/qt/qtmessageboxes.h"
#include "platform/settingsstore.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vocatext"_s);
    QApplication::setOrganizationName(u"Quillmark"_s);

    QtEventLoop events;
    QtMessageBoxes boxes;
    IniSettingsStore settings;

    Services services;
    services.boxes = &boxes;
    services.settings = &settings;
    services.events = &events;
    services.programFolder = QCoreApplication::applicationDirPath();

    Form1 window(services);
    boxes.SetParent(&window);
    window.setWindowTitle(u"Vocatext"_s);
    window.show();
    return app.exec();
}
