#pragma once

#include "common/services.h"
#include "platform/documentreader.h"
#include "platform/espeakengine.h"
#include "platform/fliteengine.h"
#include "platform/inisettingsstore.h"
#include "platform/processes.h"
#include "platform/qteventloop.h"
#include "platform/random.h"
#include "platform/resources.h"
#include "platform/speechengine.h"
#include "platform/stderrdiagnostics.h"
#include "platform/workingfolder.h"

// The real services that need no window, built in one place for every front end: the
// window adds its message boxes, dialogs and shell, the headless converter its own boxes.
class PlatformServices
{
public:
    /// programFolder holds the batch interpreter; locale ("en_GB") decides which voices
    /// come first; events, when given, is the loop the engines and the reader yield to
    /// (otherwise the running QCoreApplication's).
    PlatformServices(const QString &programFolder, const QString &locale, IEventLoop *events = nullptr);
    PlatformServices(const PlatformServices &) = delete;
    PlatformServices &operator=(const PlatformServices &) = delete;

    /// The services, with those of a window still missing.
    Services Wire();

private:
    QtEventLoop m_qtEvents;

public:
    IEventLoop &events;
    StderrDiagnostics diagnostics;
    IniSettingsStore settings;
    EspeakEngine espeak;
    FliteEngine flite;
    SpeechEngine speech;
    OdtReader reader;
    PosixProcessRunner processes;
    QtResources resources;
    TimeSeededRandom random;
    PrivateWorkingFolder working;

private:
    QString m_programFolder;
};
