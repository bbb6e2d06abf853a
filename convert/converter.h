#pragma once

#include "convert/options.h"

#include <QString>

class PlatformServices;

// The headless converter: the batch of the command line (see batch.h), each document
// converted by its job, the jobs run by the scheduler (see scheduler.h) on every core;
// what it does is said on the console (see console.h) and its exit code.
class Converter final
{
public:
    Converter(const ConvertOptions &options, PlatformServices &platform);
    ~Converter();
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    /// Converts the batch; the exit code: 0 all converted or skipped, 1 some failed,
    /// 2 the batch cannot start as asked, 130 or 143 interrupted.
    int Run();

    /// Ctrl+C and SIGTERM stop the batch cleanly from now on.
    void CatchStopSignals();

    /// Where ffmpeg, which makes M4B audiobooks, is installed.
    static const QString kFfmpeg;
    /// Where ffprobe, which counts an audiobook's chapters, is installed (with ffmpeg).
    static const QString kFfprobe;
    /// Why ffmpeg at this path cannot make M4B audiobooks, in words that name its package; "" when it can.
    static QString AudiobookMakerProblem(const QString &ffmpeg);

    /// The most a piece of the converter holds, in units of 1024 characters.
    static constexpr int kPieceKilochars = 16;

private:
    ConvertOptions m_options;
    PlatformServices &m_platform;
    int m_signalPipe[2] = {-1, -1};
};
