#include "convert/options.h"


#include "common/helpers.h"

#include "common/buildconfig.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "documents/dispatchingreader.h"
#include "pipeline/voicepicker.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cmath>
#include <tuple>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString kHint = u"\nTry 'vocatext-convert --help' for more information."_s;

const char kDescription[] =
    "Converts documents to spoken MP3 files, one MP3 per document, as the Vocatext window\n"
    "does: the same text, segments, voices, encoder and join. Documents are OpenDocument,\n"
    "Word, EPUB, plain text, web pages, Markdown, and with LibreOffice installed every other\n"
    "type it opens (.doc, .rtf, ...). A FOLDER is walked as \"Add All ODT Files In Folder\"\n"
    "walks it, taking every type that is read (--types narrows it).\n"
    "\n"
    "What the options leave open is taken from the window's settings\n"
    "(~/.config/Quillmark/Vocatext.ini), which the converter never changes.\n"
    "\n"
    "Exit status: 0 when every document was converted or skipped, 1 when any failed,\n"
    "2 for a usage error, 130 or 143 when interrupted (nothing half written is left).";

// A whole number in range, or nothing.
std::optional<int> WholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// Why a stored value cannot be taken, in words that name the key and what to do.
QString BadStoredValue(const ISettingsStore &store, const Setting &setting, const QString &wanted,
                       const QString &option)
{
    return u"The window's setting \""_s + setting.Key() + u"\" holds \""_s + ReadSetting(store, setting)
           + u"\", which is not "_s + wanted + u"; give "_s + option + u" (or set it again in the window)."_s;
}

// "K/N", N from 1 and K from 0 to N (0/N and N/N are one shard): K modulo N, and N.
std::optional<std::pair<int, int>> Shard(const QString &text)
{
    const qsizetype slash = text.indexOf(u'/');
    const auto count = WholeNumber(text.mid(slash + 1), 1, 1000000);
    const auto index = count && slash > 0 ? WholeNumber(text.left(slash), 0, *count) : std::nullopt;
    if (!index)
        return std::nullopt;
    return std::pair{*index % *count, *count};
}

// A task of a Slurm job array as K/N: its place among the array's tasks. Slurm numbers
// them from the array's first index in steps (--array=1-4, --array=0-15:4); a list of
// evenly spaced indices (--array=1,3,5,7) counts as a range with that step, since Slurm
// does not say the step of a list. A task whose place cannot be told (an uneven list) gets
// no shard, so no two tasks ever take one shard. "" outside an array.
QString SlurmShard()
{
    const QString id = qEnvironmentVariable("SLURM_ARRAY_TASK_ID");
    const QString count = qEnvironmentVariable("SLURM_ARRAY_TASK_COUNT");
    if (id.isEmpty() || count.isEmpty())
        return QString();
    const qint64 tasks = count.toLongLong();
    const qint64 first = qEnvironmentVariable("SLURM_ARRAY_TASK_MIN", u"0"_s).toLongLong();
    qint64 step = std::max<qint64>(1, qEnvironmentVariable("SLURM_ARRAY_TASK_STEP", u"1"_s).toLongLong());
    bool hasLast = false;
    const qint64 last = qEnvironmentVariable("SLURM_ARRAY_TASK_MAX").toLongLong(&hasLast);
    if (hasLast && tasks > 1) {
        if ((last - first) % (tasks - 1) != 0)
            return u"-/"_s + count; // an uneven list: no place can be told
        step = std::max<qint64>(1, (last - first) / (tasks - 1));
    }
    bool ok = false;
    const qint64 offset = id.toLongLong(&ok) - first;
    if (!ok || offset < 0 || offset % step != 0)
        return u"-/"_s + count; // no shard
    return QString::number(offset / step) + u'/' + count;
}

// The formats by name; the first is the default.
const std::pair<const char16_t *, OutputFormat> kFormats[] = {
    {u"mp3", OutputFormat::Mp3}, {u"m4b", OutputFormat::M4b}, {u"opus", OutputFormat::Opus}, {u"epub", OutputFormat::Epub},
    {u"txt", OutputFormat::Txt}, {u"ssml", OutputFormat::Ssml}};

} // namespace

QString FormatExtension(OutputFormat format)
{
    for (const auto &[name, value] : kFormats) {
        if (value == format)
            return QString::fromUtf16(name);
    }
    return QString();
}

QString FormatWords(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Mp3:
        return u"MP3"_s;
    case OutputFormat::M4b:
        return u"M4B audiobook"_s;
    case OutputFormat::Txt:
        return u"text file"_s;
    case OutputFormat::Opus:
        return u"Ogg Opus file"_s;
    case OutputFormat::Epub:
        return u"EPUB"_s;
    case OutputFormat::Ssml:
        return u"speech plan"_s;
    }
    return QString();
}

QString VoiceListing(const QStringList &voices)
{
    QString text;
    for (qsizetype i = 0; i < voices.size(); ++i)
        text += QString::number(i + 1).rightJustified(4) + u"  "_s + voices[i] + u'\n';
    return text;
}

ParsedOptions ParseOptions(const QStringList &arguments, const QStringList &voices, const ISettingsStore &store,
                           const QString &desktop, int cores)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Shows this help."_s);
    const QCommandLineOption version(u"version"_s, u"Shows the version."_s);
    const QCommandLineOption out(u"out"_s, u"Saves every MP3 into DIR (\"Save results to this folder:\")."_s, u"DIR"_s);
    const QCommandLineOption beside(u"beside"_s, u"Saves each MP3 beside its document (\"Save results in folder of "
                                                 u"original file\")."_s);
    const QCommandLineOption voice(u"voice"_s, u"The voice: its position N in --list-voices, or a part of its name "
                                               u"(letter case ignored; the first that matches)."_s,
                                   u"N|NAME"_s);
    const QCommandLineOption rate(u"rate"_s, u"The speech rate, -10 (slowest) to 10 (fastest)."_s, u"R"_s);
    const QCommandLineOption volume(u"volume"_s, u"The volume, 0 to 100."_s, u"V"_s);
    const QCommandLineOption jobs(u"j"_s, u"At most N pieces spoken or encoded at once (default: the number of cores, %1)."_s.arg(cores),
                                  u"N"_s);
    const QCommandLineOption skip(u"skip-unchanged"_s, u"Skips a document whose MP3 exists and is newer than it."_s);
    const QCommandLineOption quiet(u"quiet"_s, u"Prints failures only."_s);
    const QCommandLineOption list(u"list-voices"_s, u"Lists the voices with their positions."_s);
    const QCommandLineOption shard(u"shard"_s, u"Converts only shard K of N: of the documents sorted by path, the K-th, "
                                               u"the (K+N)-th, ... (K from 1 to N, or from 0 to N-1). A task of a Slurm "
                                               u"job array takes its shard from SLURM_ARRAY_TASK_ID and "
                                               u"SLURM_ARRAY_TASK_COUNT."_s,
                                   u"K/N"_s);
    const QCommandLineOption missing(u"missing"_s, u"Converts nothing: lists the documents that have no MP3 newer than "
                                                   u"them, one a line; exit status 1 when there are any."_s);
    QStringList formatNames;
    for (const auto &[name, value] : kFormats)
        formatNames.append(QString::fromUtf16(name));
    const QCommandLineOption format(u"format"_s, u"What is written of each document: "_s + formatNames.join(u", "_s)
                                                     + u" (default mp3). m4b is an audiobook of AAC in MP4 with the "
                                                       u"same chapters and tags, made by ffmpeg; opus is Ogg Opus, the "
                                                       u"smallest files for speech; epub is an EPUB 3 of the text whose "
                                                       u"sentences are highlighted as they are heard; txt writes, "
                                                       u"instead of speech, the text that would be spoken (name.txt), "
                                                       u"ssml the speech plan, what the voices are given (name.ssml)."_s,
                                    u"FORMAT"_s);
    const QCommandLineOption types(u"types"_s, u"The types a FOLDER is walked for, by extension (odt,docx,...; "
                                               u"default: every type that is read)."_s,
                                   u"EXT,..."_s);
    const QCommandLineOption noTags(u"no-tags"_s, u"Writes no title, author, album, track or other tags."_s);
    const QCommandLineOption noChapters(u"no-chapters"_s, u"Writes no chapters (one per heading)."_s);
    const QCommandLineOption stall(u"stall-limit"_s, u"A worker, encoder or ffmpeg that makes no progress for S "
                                                     u"seconds (default %1) is stopped; its work is tried once more, "
                                                     u"then its document fails."_s.arg(ConvertOptions().stallSeconds),
                                   u"S"_s);
    const QCommandLineOption cover(u"cover"_s, u"A picture (JPEG or PNG) as the front cover of documents that "
                                               u"name none and have no cover.jpg, cover.png or folder.jpg beside them."_s,
                                   u"FILE"_s);
    const QCommandLineOption subtitles(u"subtitles"_s, u"Writes subtitles beside each spoken document: srt "
                                                       u"(name.srt), lrc (name.lrc) or srt,lrc; one cue per sentence, "
                                                       u"in the document's own words, from the moment it is heard."_s,
                                       u"srt,lrc"_s);
    const QCommandLineOption noCache(u"no-cache"_s, u"Keeps no finished pieces and takes none from the cache."_s);
    const QCommandLineOption cacheSize(u"cache-size"_s, u"The most the cache of finished pieces holds (default 2G; "
                                                        u"K, M, G as units); the pieces used longest ago go first."_s,
                                       u"SIZE"_s);
    const QCommandLineOption voiceFor(u"voice-for"_s, u"The voice for passages of a language, LANG=VOICE;... (VOICE its "
                                                      u"position in --list-voices or a part of its name), as the "
                                                      u"setting \"Voice For\"; else the engine's voice for each."_s,
                                      u"LANG=VOICE;..."_s);
    const QCommandLineOption noSwitch(u"no-language-switch"_s, u"The chosen voice reads every passage, whatever its "
                                                               u"language."_s);
    const QCommandLineOption allowUnspoken(u"allow-unspoken"_s, u"Letters that no installed voice speaks are left "
                                                                u"out and named, but do not make the exit status 1."_s);
    const QCommandLineOption lexicon(u"lexicon"_s, u"A pronunciation lexicon (W3C PLS, or \"word = respelling\" a "
                                                   u"line) for every document, after lexicon.pls or lexicon.txt beside "
                                                   u"the document and in the settings' folder."_s,
                                     u"FILE"_s);
    parser.addOptions({help, version, out, beside, voice, rate, volume, jobs, skip, quiet, list, shard, missing, format,
                       types, noTags, noChapters, stall, noCache, cacheSize, cover, subtitles, voiceFor, noSwitch,
                       allowUnspoken, lexicon});
    parser.addPositionalArgument(u"DOCUMENT|FOLDER"_s, u"The documents to convert, and folders to walk for them."_s,
                                 u"DOCUMENT|FOLDER..."_s);

    ParsedOptions parsed;
    auto usage = [&parsed](const QString &error) {
        parsed.usageError = error + kHint;
        return parsed;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        parsed.output = parser.helpText()
                        + u"\nSeveral machines: see the README, section \"The headless converter\".\n"_s;
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.output = u"vocatext-convert "_s + QString::fromLatin1(kVersion) + u'\n';
        return parsed;
    }

    ConvertOptions options;
    options.listVoices = parser.isSet(list);
    options.skipUnchanged = parser.isSet(skip);
    options.quiet = parser.isSet(quiet);
    options.missing = parser.isSet(missing);
    if (const QString wanted = parser.isSet(shard) ? parser.value(shard) : SlurmShard(); !wanted.isEmpty()) {
        const auto chosen = Shard(wanted);
        if (!chosen && !parser.isSet(shard))
            return usage(u"This Slurm job array task (SLURM_ARRAY_TASK_ID="_s + qEnvironmentVariable("SLURM_ARRAY_TASK_ID")
                         + u" of SLURM_ARRAY_TASK_COUNT="_s + qEnvironmentVariable("SLURM_ARRAY_TASK_COUNT")
                         + u") has no shard of its own; give --shard K/N."_s);
        if (!chosen)
            return usage(u"--shard needs K/N, N from 1 and K from 0 to N: "_s + wanted);
        std::tie(options.shard, options.shards) = *chosen;
    }
    options.inputs = parser.positionalArguments();
    if (options.inputs.isEmpty() && !options.listVoices)
        return usage(u"No document or folder given."_s);
    options.tags = !parser.isSet(noTags);
    options.chapters = !parser.isSet(noChapters);

    options.jobs = cores;
    if (parser.isSet(jobs)) {
        const auto n = WholeNumber(parser.value(jobs), 1, 1024);
        if (!n)
            return usage(u"-j needs a whole number of encoders from 1: "_s + parser.value(jobs));
        options.jobs = *n;
    }

    options.cache = !parser.isSet(noCache);
    for (const QString &kind : parser.value(subtitles).split(u',', Qt::SkipEmptyParts)) {
        if (kind.trimmed().compare(u"srt"_s, Qt::CaseInsensitive) == 0)
            options.srt = true;
        else if (kind.trimmed().compare(u"lrc"_s, Qt::CaseInsensitive) == 0)
            options.lrc = true;
        else
            return usage(u"--subtitles takes srt, lrc or srt,lrc: "_s + parser.value(subtitles));
    }
    if (parser.isSet(cover))
        options.cover = AbsolutePath(parser.value(cover));
    options.allowUnspoken = parser.isSet(allowUnspoken);
    options.lexicons = UserLexicons(store);
    if (parser.isSet(lexicon)) {
        if (!QFileInfo(parser.value(lexicon)).isFile())
            return usage(u"--lexicon: no such file: "_s + parser.value(lexicon));
        options.lexicons.append(AbsolutePath(parser.value(lexicon)));
    }
    options.languageSwitch = parser.isSet(noSwitch)
                                 ? false
                                 : ReadSetting(store, SettingKey::LanguageSwitch.Key(),
                                               SettingKey::LanguageSwitch.Default())
                                           .compare(u"False"_s, Qt::CaseInsensitive)
                                       != 0;
    {
        const QString pairs = parser.isSet(voiceFor) ? parser.value(voiceFor)
                                                     : ReadSetting(store, SettingKey::VoiceFor.Key(), QString());
        QString error;
        options.voicesFor = VoicesForLanguages(pairs.split(u';', Qt::SkipEmptyParts), voices, &error);
        if (!error.isEmpty())
            return usage((parser.isSet(voiceFor) ? u"--voice-for: "_s : u"The setting \"Voice For\": "_s) + error);
    }
    if (parser.isSet(cacheSize)) {
        QString size = parser.value(cacheSize).trimmed().toUpper();
        qint64 unit = 1;
        for (const auto &[letter, factor] : {std::pair{u'K', qint64(1) << 10}, {u'M', qint64(1) << 20}, {u'G', qint64(1) << 30}}) {
            if (size.endsWith(letter)) {
                size.chop(1);
                unit = factor;
            }
        }
        bool ok = false;
        const qint64 number = size.toLongLong(&ok);
        if (!ok || number < 0 || number > (qint64(1) << 50) / unit)
            return usage(u"--cache-size needs a size such as 500M or 2G: "_s + parser.value(cacheSize));
        options.cacheBytes = number * unit;
    }
    if (parser.isSet(stall)) {
        const auto seconds = WholeNumber(parser.value(stall), 1, 86400);
        if (!seconds)
            return usage(u"--stall-limit needs a whole number of seconds from 1: "_s + parser.value(stall));
        options.stallSeconds = *seconds;
    }

    if (parser.isSet(format)) {
        const QString wanted = parser.value(format).toLower();
        const qsizetype at = formatNames.indexOf(wanted);
        if (at < 0)
            return usage(u"--format must be one of "_s + formatNames.join(u", "_s) + u": "_s + parser.value(format));
        options.format = kFormats[at].second;
    }
    if (parser.isSet(types)) {
        const QStringList supported = SupportedExtensions();
        for (QString type : parser.value(types).split(u',', Qt::SkipEmptyParts)) {
            type = type.trimmed().toLower();
            if (type.startsWith(u'.'))
                type.remove(0, 1);
            if (!supported.contains(type))
                return usage(u"--types: no such type is read: "_s + type + u" (types: "_s + supported.join(u',') + u')');
            options.types.append(type);
        }
        if (options.types.isEmpty())
            return usage(u"--types needs at least one type: "_s + parser.value(types));
    }

    if (parser.isSet(out) && parser.isSet(beside))
        return usage(u"--out and --beside exclude each other."_s);
    if (parser.isSet(out)) {
        options.intoFolder = true;
        options.beside = false;
        options.folder = parser.value(out);
    } else if (parser.isSet(beside)) {
        options.intoFolder = false;
        options.beside = true;
    } else {
        for (const Setting *key : {&SettingKey::Option1, &SettingKey::Option2}) {
            try {
                (key == &SettingKey::Option1 ? options.intoFolder : options.beside) = StoredBoolean(store, *key);
            } catch (const std::exception &) {
                return usage(BadStoredValue(store, *key, u"True or False"_s, u"--out DIR or --beside"_s));
            }
        }
        options.folder = ReadSetting(store, SettingKey::Text1.Key(), desktop + u'/');
    }

    if (parser.isSet(rate)) {
        const auto value = WholeNumber(parser.value(rate), -10, 10);
        if (!value)
            return usage(u"--rate must be a whole number from -10 to 10: "_s + parser.value(rate));
        options.rate = *value;
    } else {
        try {
            options.rate = StoredSliderValue(store, SettingKey::SpeechRate, -10, 10);
        } catch (const std::exception &) {
            return usage(BadStoredValue(store, SettingKey::SpeechRate, u"a rate from -10 to 10"_s, u"--rate"_s));
        }
    }
    if (parser.isSet(volume)) {
        const auto value = WholeNumber(parser.value(volume), 0, 100);
        if (!value)
            return usage(u"--volume must be a whole number from 0 to 100: "_s + parser.value(volume));
        options.volume = *value;
    } else {
        try {
            options.volume = StoredSliderValue(store, SettingKey::VolumeLevel, 0, 100);
        } catch (const std::exception &) {
            return usage(BadStoredValue(store, SettingKey::VolumeLevel, u"a volume from 0 to 100"_s, u"--volume"_s));
        }
    }

    if (parser.isSet(voice)) {
        const QString wanted = parser.value(voice);
        if (const auto position = WholeNumber(wanted, 1, static_cast<int>(voices.size()))) {
            options.voice = *position;
        } else {
            for (qsizetype i = 0; i < voices.size() && options.voice == 0; ++i) {
                if (voices[i].contains(wanted, Qt::CaseInsensitive))
                    options.voice = static_cast<int>(i + 1);
            }
            if (options.voice == 0)
                return usage(u"No such voice: "_s + wanted + u" (vocatext-convert --list-voices shows them)"_s);
        }
    } else {
        // The voice chosen in the window; one that is gone leaves nothing selected.
        double stored = 0;
        try {
            stored = SettingToWholeNumber(ReadSetting(store, SettingKey::Combo));
        } catch (const std::exception &) {
            return usage(BadStoredValue(store, SettingKey::Combo, u"a position in the voice list"_s, u"--voice"_s));
        }
        options.voice = stored >= 0 && stored < voices.size() ? static_cast<int>(stored) + 1 : 0;
    }
    parsed.options = options;
    return parsed;
}
