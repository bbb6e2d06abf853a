// The words of a document in step with its speech: the subtitles written beside the
// output, and the EPUB 3 whose overlays highlight each sentence as the chapter's MP3 speaks it.
#include "pipeline/documentjob.h"

#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "pipeline/jobsteps.h"
#include "pipeline/passages.h"
#include "pipeline/readalongtext.h"
#include "pipeline/tags.h"

#include "languages/languageruns.h"
#include "readalong/cues.h"
#include "readalong/epubwriter.h"
#include "readalong/overlaidepub.h"

#include <QFile>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;
using namespace JobParts;

namespace {

// A lame Info (or Xing) frame leads each MP3 the encoder makes: it holds no sound and
// tells a player the length of that piece alone, so no chapter's audio begins with one.
bool IsInfoFrame(QByteArrayView frame)
{
    const QByteArrayView head = frame.first(std::min<qsizetype>(frame.size(), 64));
    return head.indexOf("Info") >= 0 || head.indexOf("Xing") >= 0;
}

qint64 FrameMs(qint64 frame)
{
    return frame * kMp3FrameSamples * 1000 / kMp3SampleRate;
}

// The language of one paragraph as the speech has it: the document's marks, else its script
// and letters; the one that holds most of it.
QString ParagraphLanguage(const QString &text, qint64 line, const QString &documentLanguage,
                          const QList<LanguageMark> &marks)
{
    QString language;
    qsizetype longest = 0;
    for (const LanguageRun &run : LanguageRuns(text, documentLanguage, MarksOnText(marks, line, 0, text))) {
        if (!run.language.isEmpty() && run.length > longest) {
            longest = run.length;
            language = run.language;
        }
    }
    return language;
}

} // namespace

ReadAlongText &DocumentJob::ReadAlong()
{
    if (!m_readAlong)
        m_readAlong = std::make_unique<ReadAlongText>([this](int piece) { return PiecePath(piece, u".txt"_s); },
                                                      OwnTextPath(), SpeechLanguage());
    return *m_readAlong;
}
QString DocumentJob::SpeechLanguage() const
{
    if (!m_facts.language.isEmpty())
        return m_facts.language;
    return m_setup.language.isEmpty() ? m_setup.voiceLanguage : m_setup.language;
}

void DocumentJob::WriteSubtitles()
{
    const QList<Cue> cues = SubtitleCues(ReadAlong().TimedSentences(m_text.pieces, m_sentenceStarts, m_clock));
    const QString base = m_output.left(m_output.lastIndexOf(u'.'));
    const AudiobookTags tags = TagsFor(m_setup.document, m_facts, 0, 0, QString(), QString());
    for (const auto &[wanted, path, text] :
         {std::tuple{m_setup.srt, base + u".srt"_s, SrtText(cues)}, std::tuple{m_setup.lrc, base + u".lrc"_s,
                                                                      LrcText(cues, tags.title, tags.artist)}}) {
        if (!wanted)
            continue;
        // A subtitle file of the user's own that stands there is never replaced.
        if (Fs::Stat(path) && !Fs::IsProgramOutput(path))
            throw RuntimeError(path + u" is a file of yours, not one that Vocatext wrote, so it is left as it is"_s,
                               ErrorNumber::PathFileAccessError);
        if (const int error = Fs::WriteReplacing(path, text, Fs::WithUmask(0666)))
            throw FileSystemError(error, path);
        Fs::MarkAsProgramOutput(path);
    }
}


JobOutcome DocumentJob::WriteEpub()
{
    return Step(JobStep::Packing, [&] {
        // The book has its title, author and cover whether or not the audio is tagged.
        AudiobookTags tags = TagsFor(m_setup.document, m_facts, 0, 0, QString(), QString());
        FindCover(tags);
        QList<qsizetype> lines;
        const QList<TimedSentence> sentences =
            ReadAlong().TimedSentences(m_text.pieces, m_sentenceStarts, m_clock, &lines);
        const QStringList &text = ReadAlong().DocumentLines();

        ReadAlongBook book;
        book.title = tags.title;
        book.author = tags.artist;
        book.language = SpeechLanguage().isEmpty() ? u"und"_s : QString(SpeechLanguage()).replace(u'_', u'-');
        book.narrator = m_setup.voiceDescription;
        if (!tags.cover.isEmpty())
            book.cover = ReadAlongCover{tags.cover, tags.coverType};

        // Each paragraph a block; a chapter begins at each heading of the book's top level.
        QHash<qint64, const DocumentHeading *> headings;
        int top = 6;
        for (const DocumentHeading &heading : std::as_const(m_text.headings)) {
            headings.insert(heading.line, &heading);
            top = std::min(top, heading.level);
        }
        const QString bookLanguage = book.language.toLower();
        const QList<LanguageMark> marks = DocumentMarks();
        const QHash<qint64, DocumentBlock::Kind> blocks = Blocks();
        for (qsizetype k = 0; k < sentences.size(); ++k) {
            const qsizetype line = lines[k];
            if (k == 0 || lines[k - 1] != line) {
                const DocumentHeading *heading = headings.value(line);
                if (book.chapters.isEmpty() || (heading && heading->level <= top && !book.chapters.last().blocks.isEmpty()))
                    book.chapters.append({heading && heading->level <= top ? heading->title : book.title, {}, 0, {}});
                ReadAlongBlock block;
                if (heading) {
                    block.kind = ReadAlongBlock::Kind::Heading;
                    block.level = std::clamp(heading->level - top + 1, 1, 6);
                } else if (const auto kind = blocks.constFind(line); kind != blocks.cend()) {
                    block.kind = *kind == DocumentBlock::Kind::ListItem ? ReadAlongBlock::Kind::ListItem
                                                                         : ReadAlongBlock::Kind::TableCell;
                }
                const QString paragraph = text.value(line);
                const QString language = ParagraphLanguage(paragraph, line, book.language, marks);
                block.language = language.toLower() == bookLanguage ? QString() : language;
                block.rightToLeft = paragraph.isRightToLeft();
                book.chapters.last().blocks.append(block);
            }
            book.chapters.last().blocks.last().sentences.append(sentences[k]);
        }
        if (book.chapters.isEmpty())
            throw RuntimeError(u"The document has no sentence to read along: "_s + m_setup.document,
                               ErrorNumber::PathFileAccessError);
        SplitAudio(book);

        m_audiobook.Name(m_output);
        // An e-book keeps its own pages (text, pictures, styles) and gains the overlays; any
        // other document's text is made into pages.
        ReadAlongResult written;
        const bool ownPages = m_setup.document.endsWith(u".epub"_s, Qt::CaseInsensitive);
        if (ownPages) {
            written = WriteOverlaidEpub(m_setup.document, book, m_audiobook.Path());
            if (written.unsuitable)
                m_notes.append(u"the book's own pages are not kept ("_s + written.error
                               + u"): the read-along book shows its text as it was read"_s);
        }
        if (!ownPages || written.unsuitable)
            written = WriteReadAlongEpub(book, m_audiobook.Path());
        for (const ReadAlongChapter &chapter : std::as_const(book.chapters))
            Quietly([&] { Fs::Remove(chapter.audioPath); });
        if (!written.ok)
            throw RuntimeError(written.error, ErrorNumber::PathFileAccessError);
        m_audiobook.Hold();
        m_partial.Remove();
    });
}

void DocumentJob::KeepBlocks()
{
    const QString path = Workspace() + u"/blocks.txt"_s;
    if (m_facts.blocks.isEmpty() || !m_setup.readAlong) {
        Fs::Remove(path); // an earlier document's
        return;
    }
    QByteArray text;
    for (const DocumentBlock &block : std::as_const(m_facts.blocks))
        text += QByteArray::number(block.line) + (block.kind == DocumentBlock::Kind::ListItem ? " l\n" : " t\n");
    if (const int error = Fs::WriteReplacing(path, text, 0600))
        throw FileSystemError(error, path);
}

QHash<qint64, DocumentBlock::Kind> DocumentJob::Blocks()
{
    QHash<qint64, DocumentBlock::Kind> blocks;
    const auto file = Fs::ReadFile(Workspace() + u"/blocks.txt"_s, qint64(1) << 30);
    for (const QByteArray &line : file ? file->split('\n') : QByteArrayList()) {
        if (const qsizetype space = line.indexOf(' '); space > 0)
            blocks.insert(line.left(space).toLongLong(),
                          line.mid(space + 1) == "l" ? DocumentBlock::Kind::ListItem : DocumentBlock::Kind::TableCell);
    }
    return blocks;
}

QList<LanguageMark> DocumentJob::DocumentMarks()
{
    if (!m_facts.languages.isEmpty())
        return m_facts.languages;
    // The text was read by another process: its marks, kept by piece and line, are found
    // on the document's lines again.
    const auto file = Fs::ReadFile(LanguagesPath(), qint64(1) << 30);
    if (!file)
        return {};
    QList<LanguageMark> marks;
    for (int piece = 1; piece <= m_text.pieces; ++piece) {
        const QList<qsizetype> lines = ReadAlong().DocumentLinesOf(piece);
        for (const LanguageMark &mark : MarksOfPiece(*file, piece, nullptr)) {
            const qint64 line = lines.value(mark.line, lines.isEmpty() ? 0 : lines.last());
            if (marks.isEmpty() || marks.last().line < line
                || (marks.last().line == line && marks.last().column < mark.column))
                marks.append({line, mark.column, mark.language});
        }
    }
    return marks;
}

void DocumentJob::SplitAudio(ReadAlongBook &book)
{
    // The joined MP3 is cut between frames, a tenth of a second before each chapter's first
    // sentence is heard (in the pause before its heading); the chapter's times are counted
    // from its own first frame.
    QFile joined(m_partial.Path());
    if (!joined.open(QIODevice::ReadOnly))
        throw RuntimeError(u"The spoken document cannot be read: "_s + m_partial.Path() + u" ("_s
                               + joined.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    const uchar *mapped = joined.size() > 0 ? joined.map(0, joined.size()) : nullptr;
    if (!mapped)
        throw RuntimeError(u"The spoken document cannot be read: "_s + m_partial.Path(), ErrorNumber::PathFileAccessError);
    const QByteArrayView bytes(mapped, joined.size());
    const std::vector<qint64> offsets = Mp3FrameOffsets(bytes);
    const qint64 frames = static_cast<qint64>(offsets.size()) - 1;

    std::vector<qint64> first(static_cast<size_t>(book.chapters.size()) + 1, frames);
    first[0] = frames > 0 && IsInfoFrame(bytes.sliced(offsets[0], offsets[1] - offsets[0])) ? 1 : 0;
    for (qsizetype c = 1; c < book.chapters.size(); ++c) {
        const qint64 heard = book.chapters[c].blocks.first().sentences.first().startMs;
        const qint64 frame = (heard - 100) * kMp3SampleRate / 1000 / kMp3FrameSamples;
        first[static_cast<size_t>(c)] = std::clamp(frame, first[static_cast<size_t>(c - 1)], frames);
    }
    for (qsizetype c = 0; c < book.chapters.size(); ++c) {
        ReadAlongChapter &chapter = book.chapters[c];
        const qint64 from = first[static_cast<size_t>(c)];
        const qint64 to = first[static_cast<size_t>(c) + 1];
        const qint64 zero = FrameMs(from);
        for (ReadAlongBlock &block : chapter.blocks) {
            for (TimedSentence &sentence : block.sentences) {
                sentence.startMs = std::max<qint64>(0, sentence.startMs - zero);
                sentence.endMs = std::max<qint64>(sentence.startMs, sentence.endMs - zero);
            }
        }
        if (to <= from)
            continue; // a chapter heard in no frame of its own has no audio
        chapter.durationMs = FrameMs(to) - zero;
        chapter.audioPath = Workspace() + u"/chapter-"_s + QString::number(c + 1).rightJustified(4, u'0') + u".mp3"_s;
        const QByteArrayView audio = bytes.sliced(offsets[static_cast<size_t>(from)],
                                                  offsets[static_cast<size_t>(to)] - offsets[static_cast<size_t>(from)]);
        // Written from the mapped file as it stands: a book of many hours is never copied in memory.
        if (const int error = Fs::WriteReplacing(chapter.audioPath, audio, 0600))
            throw FileSystemError(error, chapter.audioPath);
    }
}
