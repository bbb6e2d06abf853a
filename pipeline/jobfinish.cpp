// The end of a document's job: pieces kept in and taken from the cache, the tags, cover
// and chapters written, the audiobook packed and checked, the text written.
#include "pipeline/documentjob.h"

#include "api/processes.h"
#include "api/workingfolder.h"
#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "filesystem/filesystem.h"
#include "pipeline/jobsteps.h"
#include "pipeline/piececache.h"
#include "pipeline/readalongtext.h"
#include "pipeline/tags.h"
#include "pipeline/writer1.h"

#include "audio/cover.h"
#include "audio/oggopus.h"

#include <algorithm>

#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;
using namespace JobParts;

namespace {

// ffmpeg's command line that makes an M4B audiobook (AAC in MP4) of the tagged MP3, with
// the tags and chapters of its ID3 frames (no text of theirs passes through a format that
// needs escapes); the index at the front, so players start at once.
QString AudiobookCommandLine(const QString &ffmpeg, const QString &mp3, const QString &language,
                             const QString &target)
{
    QString line = QuotedForCommandLine(ffmpeg) + u" -nostdin -hide_banner -loglevel error -y -i "_s
                   + QuotedForCommandLine(mp3)
                   + u" -map 0:a -map 0:v? -map_metadata 0 -map_chapters 0 -c:a aac -b:a 48k -c:v copy"_s
                     u" -disposition:v attached_pic"_s;
    if (!language.isEmpty())
        line += u" -metadata:s:a:0 language="_s + language;
    return line + u" -f ipod -brand \"M4B \" -movflags +faststart "_s + QuotedForCommandLine(target);
}

// The chapters that ffprobe finds in a file, written to listing on the way; -1 when it
// cannot tell.
int ChaptersOf(IProcessRunner &processes, const QString &ffprobe, const QString &file, const QString &listing)
{
    Started probe = StartChild(processes, QuotedForCommandLine(ffprobe)
                                              + u" -v error -show_entries chapter=id -of csv=p=0 -o "_s
                                              + QuotedForCommandLine(listing) + u' ' + QuotedForCommandLine(file));
    if (!probe.child)
        return -1;
    int code = kStillActive;
    for (int waited = 0; (code = probe.child->ExitCode()) == kStillActive && waited < 60000; waited += 10)
        ::usleep(10000);
    if (code != 0) {
        probe.child->Stop();
        return -1;
    }
    const auto listed = Fs::ReadFile(listing, 1 << 24);
    Fs::Remove(listing);
    return listed ? static_cast<int>(listed->count('\n')) : -1;
}

} // namespace

bool DocumentJob::FromCache(PieceCache &cache, int piece)
{
    if (m_setup.soundParts.isEmpty() || !cache.Serves() || piece < 1 || piece > m_text.pieces)
        return false;
    bool taken = false;
    Quietly([&] {
        // The key is of what the engine is given: the passages and their voices, read
        // along each sentence on a line.
        QStringList unspoken;
        QByteArray &key = m_keys[static_cast<size_t>(piece - 1)];
        key = PieceCache::Key(m_setup.soundParts, SpeechKeyText(piece, &unspoken));
        const std::optional<CachedPiece> kept = cache.Find(key);
        if (!kept)
            return;
        const QString target = PieceMp3(piece);
        if (const int error = Fs::WriteReplacing(target, kept->audio, m_text.pieces == 1 ? Fs::WithUmask(0666) : 0600))
            throw FileSystemError(error, target);
        if (m_text.pieces == 1)
            m_partial.Hold();
        SpokenFacts spoken = kept->spoken;
        spoken.unspoken = unspoken;
        TakeSpoken(piece, spoken);
        const qint64 samples = Mp3SamplesOf(kept->audio);
        m_clock.Encoded(piece, samples);
        m_encodedSamples += samples;
        m_encoded[static_cast<size_t>(piece - 1)] = 1;
        taken = true;
    });
    return taken;
}

void DocumentJob::KeepInCache(PieceCache &cache, int piece)
{
    if (piece < 1 || piece > m_text.pieces || m_keys[static_cast<size_t>(piece - 1)].isEmpty())
        return;
    Quietly([&] {
        cache.Keep(m_keys[static_cast<size_t>(piece - 1)],
                   m_text.pieces == 1 ? m_partial.Path() : PiecePath(piece, u".mp3"_s), Spoken(piece));
    });
}

JobOutcome DocumentJob::KeepSpeech(int piece)
{
    return Step(JobStep::Encoding, [&] {
        const auto status = Fs::Stat(PiecePath(piece, u".wav"_s));
        m_clock.SetDelay(0); // Opus keeps no encoder's delay in what is heard
        m_clock.Encoded(piece, status ? std::max<qint64>(0, status->size - 44) / 2 : 0);
        if (piece >= 1 && piece <= static_cast<int>(m_encoded.size()))
            m_encoded[static_cast<size_t>(piece - 1)] = 1;
    });
}

JobOutcome DocumentJob::WriteOpus()
{
    return Step(JobStep::Encoding, [&] {
        const AudiobookTags tags = TagsToWrite();
        AudioTags written{tags.title, tags.artist, tags.album, tags.track, tags.trackCount, tags.genre, tags.language,
                          tags.comment};
        QList<AudioChapter> chapters;
        for (const Chapter &chapter : tags.chapters)
            chapters.append({chapter.title, chapter.startMs, chapter.endMs});
        QStringList wavs;
        for (int piece = 1; piece <= m_text.pieces; ++piece)
            wavs.append(PiecePath(piece, u".wav"_s));
        m_partial.Create(m_output);
        std::optional<CoverPicture> cover;
        if (!tags.cover.isEmpty())
            cover = CoverPicture{tags.cover, tags.coverType};
        if (const QString failure = WriteOggOpus(m_partial.Path(), wavs, written, chapters, cover); !failure.isEmpty()) {
            m_partial.Remove();
            throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
        }
        m_partial.Hold();
    });
}

AudiobookTags DocumentJob::TagsToWrite()
{
    const AudiobookTags all = TagsFor(m_setup.document, m_facts, m_setup.track, m_setup.trackCount,
                                      m_setup.voiceDescription, m_setup.voiceLanguage);
    AudiobookTags tags = m_setup.tags ? all : AudiobookTags();
    if (m_setup.chapters)
        tags.chapters = m_clock.Chapters(all.title);
    if (m_setup.tags)
        FindCover(tags);
    return tags;
}

void DocumentJob::FindCover(AudiobookTags &tags)
{
    // The book's own cover, else one beside the document as players look for it, else the
    // one given; a picture that cannot be a cover is left out and said so.
    QList<std::pair<QString, QByteArray>> candidates;
    if (!m_facts.cover.isEmpty())
        candidates.append({u"The book's cover"_s, m_facts.cover});
    else if (const auto kept = Fs::ReadFile(Workspace() + u"/cover"_s, kMaxCoverBytes + 1)) // read by a worker
        candidates.append({u"The book's cover"_s, *kept});
    const QString folder = GetFolderPath(m_setup.document);
    for (const QString &name : {u"cover.jpg"_s, u"cover.png"_s, u"folder.jpg"_s}) {
        if (const auto bytes = Fs::ReadFile(folder + name, kMaxCoverBytes + 1))
            candidates.append({folder + name, *bytes});
    }
    if (!m_setup.coverFile.isEmpty()) {
        const auto bytes = Fs::ReadFile(m_setup.coverFile, kMaxCoverBytes + 1);
        if (bytes)
            candidates.append({m_setup.coverFile, *bytes});
        else
            m_notes.append(u"The cover "_s + m_setup.coverFile + u" cannot be read ("_s
                           + FileSystemError(bytes.Error(), m_setup.coverFile).description() + u"); it is left out"_s);
    }
    for (const auto &[where, bytes] : candidates) {
        const CoverCheck check = CheckCover(bytes);
        if (check.Usable()) {
            tags.cover = bytes;
            tags.coverType = check.mimeType;
            return;
        }
        m_notes.append(where + u" is left out as the cover: "_s + check.refusal);
    }
}

JobOutcome DocumentJob::Tag()
{
    const AudiobookTags tags = TagsToWrite();
    m_chapterCount = 0;
    try {
        WriteMp3Tags(m_partial.Path(), tags);
    } catch (const RuntimeError &e) {
        return JobOutcome::Failure(JobStep::Tags, e.number(), TagFailure(m_output, e.description()));
    }
    m_partial.Hold(); // the tagged file took the partial's name
    m_chapterCount = static_cast<int>(tags.chapters.size());
    return JobOutcome::Done();
}

JobOutcome DocumentJob::StartPacking(IProcessRunner &processes, const QString &ffmpeg, Started &started)
{
    return Step(JobStep::Packing, [&] {
        m_audiobook.Create(m_output);
        started = StartChild(processes, AudiobookCommandLine(ffmpeg, m_partial.Path(),
                                                             Iso639Part2(m_setup.voiceLanguage), m_audiobook.Path()));
    });
}

JobOutcome DocumentJob::Packed(const ChildEnd &end, IProcessRunner &processes, const QString &ffprobe)
{
    if (!end.Started() || end.exitCode != 0 || !HoldsSomething(m_audiobook.Path())) {
        const QString cause = end.Started() ? LastErrorLine(end.errorOutput) : end.errorOutput;
        m_audiobook.Remove();
        return Failed(JobStep::Packing, u"ffmpeg could not make the audiobook "_s + m_output
                                            + (end.exitCode != 0 ? u" (exit code "_s + QString::number(end.exitCode) + u')'
                                                                 : QString())
                                            + (cause.isEmpty() ? QString() : u": "_s + cause));
    }
    m_audiobook.Hold();
    // A player finds every chapter of the MP3 in the audiobook, or the audiobook fails.
    QString listing;
    Quietly([&] { listing = Workspace() + u"/chapters.csv"_s; });
    const int chapters = ChaptersOf(processes, ffprobe, m_audiobook.Path(), listing);
    if (chapters != m_chapterCount) {
        m_audiobook.Remove();
        return Failed(JobStep::Packing, u"ffmpeg made an audiobook with "_s + QString::number(chapters) + u" of its "_s
                                            + QString::number(m_chapterCount) + u" chapters: "_s + m_output);
    }
    m_partial.Remove();
    return JobOutcome::Done();
}

JobOutcome DocumentJob::WriteText()
{
    return Step(JobStep::Output, [&] {
        QByteArray text;
        for (int piece = 1; piece <= m_text.pieces; ++piece) {
            const QString path = PiecePath(piece, u".txt"_s);
            const auto bytes = Fs::ReadFile(path, qint64(1) << 30);
            if (!bytes)
                throw FileSystemError(bytes.Error(), path);
            text += CodePage::DecodeWorkingText(*bytes).toUtf8();
        }
        if (const int error = Fs::WriteReplacing(m_output, text, Fs::WithUmask(0666)))
            throw RuntimeError(u"The text file cannot be written: "_s + m_output + u" ("_s
                                   + FileSystemError(error, m_output).description() + u')',
                               ErrorNumber::PathFileAccessError);
        Fs::MarkAsProgramOutput(m_output); // so that a later run may replace it
        m_finished = true;
    });
}

