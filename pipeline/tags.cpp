#include "pipeline/tags.h"

#include "api/documentreader.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "pipeline/outputfiles.h"

#include <QFile>
#include <QLocale>

#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// A CTOC frame counts its entries in one byte.
constexpr qsizetype kMaxTableEntries = 255;

TagLib::String ToTagLib(const QString &text)
{
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

TagLib::ByteVector Id(const QByteArray &id)
{
    return TagLib::ByteVector(id.constData(), static_cast<unsigned>(id.size()));
}

TagLib::ID3v2::Frame *TextFrame(const char *id, const QString &text)
{
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), TagLib::String::UTF16);
    frame->setText(ToTagLib(text));
    return frame;
}

// The chapters as CHAP frames and the tables of contents that list them.
void AddChapters(TagLib::ID3v2::Tag &tag, const QList<Chapter> &chapters)
{
    if (chapters.isEmpty())
        return;
    TagLib::ByteVectorList ids;
    for (qsizetype k = 0; k < chapters.size(); ++k) {
        const Chapter &chapter = chapters[k];
        const TagLib::ByteVector id = Id("chp" + QByteArray::number(k));
        TagLib::ID3v2::FrameList title;
        title.append(TextFrame("TIT2", TagText(chapter.title)));
        tag.addFrame(new TagLib::ID3v2::ChapterFrame(id, static_cast<unsigned>(std::max<qint64>(0, chapter.startMs)),
                                                     static_cast<unsigned>(std::max<qint64>(0, chapter.endMs)),
                                                     0xFFFFFFFF, 0xFFFFFFFF, title));
        ids.append(id);
    }
    auto table = [&tag](const TagLib::ByteVector &id, const TagLib::ByteVectorList &children, bool top,
                        const QString &title) {
        TagLib::ID3v2::FrameList embedded;
        if (!title.isEmpty())
            embedded.append(TextFrame("TIT2", title));
        auto *frame = new TagLib::ID3v2::TableOfContentsFrame(id, children, embedded);
        frame->setIsTopLevel(top);
        frame->setIsOrdered(true);
        tag.addFrame(frame);
    };
    if (ids.size() <= kMaxTableEntries) {
        table(Id("toc"), ids, true, QString());
        return;
    }
    TagLib::ByteVectorList tables;
    for (qsizetype first = 0; first < chapters.size(); first += kMaxTableEntries) {
        TagLib::ByteVectorList part;
        for (qsizetype k = first; k < std::min(chapters.size(), first + kMaxTableEntries); ++k)
            part.append(ids[static_cast<unsigned>(k)]);
        const TagLib::ByteVector id = Id("toc" + QByteArray::number(first / kMaxTableEntries + 1));
        table(id, part, false, TagText(chapters[first].title));
        tables.append(id);
    }
    table(Id("toc"), tables, true, QString());
}

} // namespace

bool AudiobookTags::IsEmpty() const
{
    return title.isEmpty() && artist.isEmpty() && album.isEmpty() && track <= 0 && genre.isEmpty()
           && language.isEmpty() && comment.isEmpty() && chapters.isEmpty() && cover.isEmpty();
}

QString TagText(const QString &text)
{
    QString line;
    bool blank = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            blank = !line.isEmpty();
            continue;
        }
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(c, text[i + 1]) : c.unicode();
        if ((c.isSurrogate() && !pair) || QChar::category(code) == QChar::Other_NotAssigned
            || (code & 0xFFFE) == 0xFFFE) {
            i += pair;
            continue; // a lone surrogate or a noncharacter: nothing a player can show
        }
        if (blank)
            line.append(u' ');
        blank = false;
        line.append(c);
        if (pair)
            line.append(text[++i]);
        if (line.size() > kMaxTagCharacters)
            break;
    }
    if (line.size() <= kMaxTagCharacters)
        return line;
    qsizetype cut = line.lastIndexOf(u' ', kMaxTagCharacters - 1);
    if (cut < kMaxTagCharacters / 2)
        cut = kMaxTagCharacters - 1;
    if (line[cut - 1].isHighSurrogate())
        --cut;
    return line.left(cut).trimmed() + u'…';
}

QString Iso639Part2(const QString &languageTag)
{
    const QString language = languageTag.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
    if (language.isEmpty())
        return QString();
    const QLocale::Language found = QLocale::codeToLanguage(language, QLocale::AnyLanguageCode);
    if (found == QLocale::AnyLanguage || found == QLocale::C) {
        // A language Qt does not know, named with three letters already.
        const bool letters = std::all_of(language.begin(), language.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
        return language.size() == 3 && letters ? language : QString();
    }
    for (const auto type : {QLocale::ISO639Part2B, QLocale::ISO639Part2T}) {
        if (const QString code = QLocale::languageToCode(found, type); !code.isEmpty())
            return code;
    }
    return QString();
}

AudiobookTags TagsFor(const QString &documentPath, const DocumentFacts &facts, int track, int trackCount,
                      const QString &voiceDescription, const QString &voiceLanguage)
{
    AudiobookTags tags;
    tags.title = TagText(facts.title);
    if (tags.title.isEmpty())
        tags.title = TagText(BaseName(documentPath));
    tags.artist = TagText(facts.author);
    QString folder = GetFolderPath(documentPath);
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    tags.album = TagText(GetFileName(folder));
    tags.track = track;
    tags.trackCount = trackCount;
    tags.genre = u"Speech"_s;
    tags.language = Iso639Part2(voiceLanguage);
    if (!voiceDescription.isEmpty())
        tags.comment = TagText(u"Voice: "_s + voiceDescription);
    return tags;
}

void WriteMp3Tags(const QString &path, const AudiobookTags &tags)
{
    if (tags.IsEmpty())
        return;
    TagLib::ID3v2::Tag tag;
    auto text = [&tag](const char *id, const QString &value) {
        if (!value.isEmpty())
            tag.addFrame(TextFrame(id, TagText(value)));
    };
    text("TIT2", tags.title);
    text("TPE1", tags.artist);
    text("TALB", tags.album);
    if (tags.track > 0)
        text("TRCK", tags.trackCount > 0 ? u"%1/%2"_s.arg(tags.track).arg(tags.trackCount) : QString::number(tags.track));
    text("TCON", tags.genre);
    text("TLAN", tags.language);
    if (!tags.comment.isEmpty()) {
        auto *comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF16);
        comment->setLanguage("eng"); // the comment's own words
        comment->setText(ToTagLib(TagText(tags.comment)));
        tag.addFrame(comment);
    }
    AddChapters(tag, tags.chapters);
    if (!tags.cover.isEmpty()) {
        auto *picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setTextEncoding(TagLib::String::Latin1);
        picture->setMimeType(TagLib::String(tags.coverType.toStdString()));
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(tags.cover.constData(), static_cast<unsigned>(tags.cover.size())));
        tag.addFrame(picture);
    }
    const TagLib::ByteVector rendered = tag.render(TagLib::ID3v2::v3);

    // The MP3 behind a tag of its own is kept, with its tag replaced.
    QFile mp3(path);
    if (!mp3.open(QIODevice::ReadOnly))
        throw RuntimeError(mp3.errorString() + u": "_s + path, ErrorNumber::PathFileAccessError);
    const qint64 skip = Id3v2TagLength(mp3.read(10));
    const auto status = Fs::Stat(path);
    Fs::ReplacingFile tagged;
    auto fail = [&path](int error) { throw FileSystemError(error, path); };
    if (const int error = tagged.Open(path, status ? (status->mode & 0777) : Fs::WithUmask(0666)))
        fail(error);
    if (const int error = tagged.Write(QByteArrayView(rendered.data(), rendered.size())))
        fail(error);
    if (!mp3.seek(skip))
        fail(EIO);
    QByteArray chunk;
    while (!(chunk = mp3.read(1 << 20)).isEmpty()) {
        if (const int error = tagged.Write(chunk))
            fail(error);
    }
    if (mp3.error() != QFileDevice::NoError)
        fail(EIO);
    if (const int error = tagged.Commit())
        fail(error);
}

QString TagFailure(const QString &outputPath, const QString &cause)
{
    return u"The tags and chapters of "_s + outputPath + u" could not be written ("_s + cause
           + u"); it is saved without them"_s;
}
