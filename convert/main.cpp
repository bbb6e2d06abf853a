// vocatext-convert: the headless converter, Vocatext's second front end. See --help.
#include "common/helpers.h"
#include "convert/converter.h"
#include "convert/options.h"
#include "convert/worker.h"
#include "filesystem/filesystem.h"
#include "services/platformservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The converter plays nothing: its speech library's sound client must reach no sound
    // server, which, without XDG_RUNTIME_DIR (ssh, Slurm, cron), leaves ~/.config/pulse and
    // a /tmp/pulse-* folder behind.
    qputenv("PULSE_SERVER", "unix:/dev/null/none");
    QCoreApplication app(argc, argv);
    // Every argument as its bytes are: a document's name need not be UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(FileSystem::NameFromNative(argv[i]));
    if (arguments.value(1) == u"--worker"_s) {
        WorkerSetup setup;
        if (!ParseWorkerArguments(arguments.mid(2), &setup)) {
            std::fprintf(stderr, "vocatext-convert: --worker is for the converter's own use\n");
            return 2;
        }
        return RunWorker(setup);
    }

    PlatformServices platform(QCoreApplication::applicationDirPath(), QLocale::system().name());
    QStringList voices;
    try {
        voices = platform.speech.VoiceDescriptions();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vocatext-convert: no voices can be listed: %s\n", e.what());
        return 1;
    }
    QString desktop;
    try {
        desktop = DesktopOrHomeFolder();
    } catch (const std::exception &) {
        desktop = QDir::homePath();
    }
    const ParsedOptions parsed =
        ParseOptions(arguments, voices, platform.settings, desktop, std::max(1, QThread::idealThreadCount()));
    if (!parsed.usageError.isEmpty()) {
        std::fprintf(stderr, "vocatext-convert: %s\n", parsed.usageError.toLocal8Bit().constData());
        return 2;
    }
    if (!parsed.output.isEmpty()) {
        std::fputs(parsed.output.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.options->listVoices) {
        std::fputs(VoiceListing(voices).toLocal8Bit().constData(), stdout);
        return 0;
    }
    Converter converter(*parsed.options, platform);
    converter.CatchStopSignals();
    const int code = converter.Run();
    platform.working.Release();
    return code;
}
