#pragma once

#include "audio/voicelevels.h"
#include "common/services.h"
#include "documents/dispatchingreader.h"
#include "engines/espeakengine.h"
#include "engines/fliteengine.h"
#include "engines/speechengine.h"
#include "system/inisettingsstore.h"
#include "system/posixprocessrunner.h"
#include "system/privateworkingfolder.h"
#include "system/qteventloop.h"
#include "system/qtresources.h"
#include "system/stderrdiagnostics.h"
#include "system/timeseededrandom.h"

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

    /// The services; a window adds its own.
    CoreServices Wire();

private:
    // Set before the engines start: the audio library that espeak-ng probes keeps its
    // runtime folders in TMPDIR, and without it in TEMP, the user's working folder; it is
    // given the system's temporary folder instead, as for any other program.
    struct AudioFilesOutOfTemp
    {
        AudioFilesOutOfTemp();
    } m_audioFilesOutOfTemp;
    QtEventLoop m_qtEvents;

public:
    IEventLoop &events;
    StderrDiagnostics diagnostics;
    IniSettingsStore settings;
    EspeakEngine espeak;
    FliteEngine flite;
    /// The voices' levels, kept in the user's cache folder.
    VoiceLevels levels;
    SpeechEngine speech;
    PosixProcessRunner processes;
    QtResources resources;
    TimeSeededRandom random;
    PrivateWorkingFolder working;
    /// Every type of document, LibreOffice's through the processes and the working folder.
    DispatchingReader reader;

private:
    QString m_programFolder;
};
