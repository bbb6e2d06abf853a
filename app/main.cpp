#include "app/form1.h"
#include "common/eventloop.h"
#include "common/services.h"
#include "platform/documentreader.h"
#include "platform/espeakengine.h"
#include "platform/processes.h"
#include "platform/qt/qtmessageboxes.h"
#include "platform/resources.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QLocale>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Vocatext"_s);
    QApplication::setOrganizationName(u"Quillmark"_s);
    const QString programFolder = QCoreApplication::applicationDirPath();

    QtEventLoop events;
    QtMessageBoxes boxes;
    IniSettingsStore settings;
    EspeakEngine speech(events, QLocale::system().name());
    OdtReader reader;
    PosixProcessRunner processes(programFolder + u"/vocatext-cmd"_s);
    QtResources resources;

    Services services;
    services.boxes = &boxes;
    services.settings = &settings;
    services.events = &events;
    services.speech = &speech;
    services.reader = &reader;
    services.processes = &processes;
    services.resources = &resources;
    services.programFolder = programFolder;

    Form1 window(services);
    boxes.SetParent(&window);
    window.setWindowTitle(u"Vocatext"_s);
    window.show();
    return app.exec();
}
