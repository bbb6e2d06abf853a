#include "app/form1.h"
#include "platform/qteventloop.h"
#include "common/services.h"
#include "platform/stderrdiagnostics.h"
#include "platform/documentreader.h"
#include "platform/espeakengine.h"
#include "platform/fliteengine.h"
#include "platform/speechengine.h"
#include "platform/processes.h"
#include "platform/qt/qtdialogs.h"
#include "platform/qt/qtmessageboxes.h"
#include "platform/random.h"
#include "platform/resources.h"
#include "platform/inisettingsstore.h"
#include "platform/workingfolder.h"

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
    StderrDiagnostics diagnostics;
    IniSettingsStore settings;
    // Flite's natural English voices come first for English-speaking users.
    const QString locale = QLocale::system().name();
    EspeakEngine espeak(events, locale);
    FliteEngine flite(events);
    SpeechEngine speech(SpeechEngine::EnglishFirst(locale) ? QList<ISpeechBackend *>{&flite, &espeak}
                                                           : QList<ISpeechBackend *>{&espeak, &flite});
    OdtReader reader(&events);
    PosixProcessRunner processes(programFolder + u"/vocatext-cmd"_s);
    QtResources resources;
    QtFileDialogs dialogs;
    QtShell shell;
    TimeSeededRandom random;
    PrivateWorkingFolder working(&diagnostics);

    Services services;
    services.boxes = &boxes;
    services.settings = &settings;
    services.events = &events;
    services.speech = &speech;
    services.reader = &reader;
    services.processes = &processes;
    services.resources = &resources;
    services.dialogs = &dialogs;
    services.shell = &shell;
    services.random = &random;
    services.workingFolder = &working;
    services.diagnostics = &diagnostics;
    services.programFolder = programFolder;

    Form1 window(services);
    window.SetBeforeExit([&working] { working.Release(); });
    boxes.SetParent(&window);
    dialogs.SetParent(&window);
    if (!window.Form_Load())
        return 0; // no speech engine: the window is never shown
    window.show();
    return app.exec();
}
