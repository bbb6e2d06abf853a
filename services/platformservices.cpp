#include "services/platformservices.h"
#include "engines/speechengine.h"

using namespace Qt::StringLiterals;

PlatformServices::AudioFilesOutOfTemp::AudioFilesOutOfTemp()
{
    if (qEnvironmentVariableIsEmpty("TMPDIR"))
        qputenv("TMPDIR", "/tmp");
}

PlatformServices::PlatformServices(const QString &programFolder, const QString &locale, IEventLoop *events_)
    : events(events_ ? *events_ : m_qtEvents)
    , espeak(events, locale)
    , flite(events)
    , levels(VoiceLevels::CacheFolder())
    // Flite's natural English voices come first for English-speaking users.
    , speech(SpeechEngine::EnglishFirst(locale) ? QList<ISpeechBackend *>{&flite, &espeak}
                                                : QList<ISpeechBackend *>{&espeak, &flite},
             &levels)
    , processes(programFolder + u"/vocatext-cmd"_s)
    , working(&diagnostics)
    , reader(&events, &processes, &working)
    , m_programFolder(programFolder)
{
}

CoreServices PlatformServices::Wire()
{
    CoreServices services;
    services.settings = &settings;
    services.events = &events;
    services.speech = &speech;
    services.reader = &reader;
    services.processes = &processes;
    services.resources = &resources;
    services.random = &random;
    services.workingFolder = &working;
    services.diagnostics = &diagnostics;
    services.programFolder = m_programFolder;
    return services;
}
