#pragma once

#include "pipeline/documentjob.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

class ISettingsStore;

// What the converter writes of each document.
using OutputFormat = OutputForm;

// What vocatext-convert was asked to do, with every choice the window would have made
// filled in from the window's settings where the command line left it open.
struct ConvertOptions
{
    QStringList inputs;         // documents and folders, in the order given
    bool listVoices = false;
    bool skipUnchanged = false;
    bool quiet = false;
    bool missing = false;       // list the documents without an up-to-date MP3, convert none
    // Of the documents sorted by path, only those at positions shard, shard + shards, ...
    // (counted from 1, taken modulo shards); one shard is the whole batch.
    int shard = 0;
    int shards = 1;
    int jobs = 1;               // pieces spoken or encoded at once
    int stallSeconds = 120;     // no progress for so long stops a worker or helper
    // Finished pieces are kept in the user's cache folder, at most cacheBytes of them.
    bool cache = true;
    // Subtitles written beside each spoken document (name.srt, name.lrc).
    bool srt = false;
    bool lrc = false;
    // Each passage read by the voice for its language; the user's voices for languages
    // (normalized tag -> position of the voice from 0).
    bool languageSwitch = true;
    QHash<QString, int> voicesFor;
    // Letters that no installed voice speaks make the run's status 1 unless allowed.
    bool allowUnspoken = false;
    // The pronunciation lexicons after those beside each document: the user's own, then --lexicon.
    QStringList lexicons;
    // The cover of documents that name none and have none beside them; "": none.
    QString cover;
    qint64 cacheBytes = qint64(2) << 30;
    // Where the MP3s go, as the window's save option: into folder (Option1), beside each
    // document (Option2), or, with neither, the document's folder.
    bool intoFolder = true;
    bool beside = false;
    QString folder;
    // The voice as a position of the voice list from 1; 0: the first (nothing selected).
    int voice = 0;
    int rate = -3;
    int volume = 100;
    // What each document becomes, with its tags and its chapters unless left out.
    OutputFormat format = OutputFormat::Mp3;
    bool tags = true;
    bool chapters = true;
    // The extensions (lower case) that the folder walk takes; every type that is read
    // when empty.
    QStringList types;
};

/// The extension of the files a format writes ("mp3", "m4b", "txt").
QString FormatExtension(OutputFormat format);
/// What a format's file is called in a sentence: "MP3", "M4B audiobook", "text file".
QString FormatWords(OutputFormat format);

/// The outcome of reading the command line: the options, or the words of a usage error
/// (exit code 2), or a text to print and exit 0 with (--help, --version).
struct ParsedOptions
{
    std::optional<ConvertOptions> options;
    QString usageError;
    QString output;
};

/// Reads the command line (arguments[0] is the program). voices resolves --voice NAME and
/// checks --voice N; store gives the window's settings for what is not on the command
/// line, and is never written. desktop is the window's default output folder.
ParsedOptions ParseOptions(const QStringList &arguments, const QStringList &voices, const ISettingsStore &store,
                           const QString &desktop, int cores);

/// The voice list as --list-voices prints it: position and description, a line each.
QString VoiceListing(const QStringList &voices);
