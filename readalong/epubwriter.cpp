#include "readalong/epubwriter.h"

#include "filesystem/filesystem.h"
#include "readalong/xmltext.h"
#include "readalong/zipwriter.h"

#include <QUuid>

#include <unicode/locid.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace ReadAlongLimits;

constexpr const char *kActiveClass = kReadAlongActiveClass;
// Book identifiers are name-based UUIDs in a namespace of the program's own.
constexpr QUuid kIdentifierNamespace(0xd85cebc1, 0x34de, 0x4a42, 0x89, 0x92, 0xbb, 0xda, 0x37, 0x9b, 0xa5, 0xb2);

constexpr char kXhtmlStart[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\"";

} // namespace

QByteArray ReadAlongStyleSheet()
{
    return "." + QByteArray(kActiveClass) + " {\n  background-color: #fde68a;\n  color: #000000;\n}\n";
}

namespace {

ReadAlongResult Failure(const QString &error)
{
    return {false, error};
}

QByteArray Escaped(QStringView text, bool attribute = false)
{
    QByteArray out;
    AppendEscaped(out, text, attribute);
    return out;
}

// The well-formed BCP 47 tag that tag is ("en_GB" is taken as "en-GB"); empty when none.
QString LanguageTag(const QString &tag)
{
    QByteArray bytes = tag.trimmed().toLatin1();
    bytes.replace('_', '-');
    if (bytes.isEmpty() || bytes.size() > 128)
        return {};
    for (const char c : bytes) {
        if (!(c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return {};
    }
    char locale[ULOC_FULLNAME_CAPACITY];
    int32_t parsed = 0;
    UErrorCode status = U_ZERO_ERROR;
    uloc_forLanguageTag(bytes.constData(), locale, sizeof locale, &parsed, &status);
    if (U_FAILURE(status) || parsed != bytes.size())
        return {};
    return QString::fromLatin1(bytes);
}

bool IsRightToLeft(const QString &tag)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(tag.toLatin1().constData(), status);
    return U_SUCCESS(status) && locale.isRightToLeft();
}

// The code point that ends (or begins) text.
char32_t LastCodePoint(QStringView text)
{
    const qsizetype n = text.size();
    if (n >= 2 && text[n - 1].isLowSurrogate() && text[n - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(text[n - 2], text[n - 1]);
    return text[n - 1].unicode();
}

char32_t FirstCodePoint(QStringView text)
{
    if (text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[0], text[1]);
    return text[0].unicode();
}

// Scripts written without spaces between sentences.
bool IsWrittenWithoutSpaces(char32_t c)
{
    if ((c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF)) // CJK and full-width punctuation
        return true;
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
        return true;
    default:
        return false;
    }
}

// True when a space goes between two sentences of a block as they are shown.
bool NeedsSpace(QStringView before, QStringView after)
{
    if (before.isEmpty() || after.isEmpty() || before.back().isSpace() || after.front().isSpace())
        return false;
    return !IsWrittenWithoutSpaces(LastCodePoint(before)) && !IsWrittenWithoutSpaces(FirstCodePoint(after));
}

// The sentences of a block that have something to show, their characters cleaned.
QList<qsizetype> ShownSentences(const ReadAlongBlock &block)
{
    QList<qsizetype> shown;
    for (qsizetype k = 0; k < block.sentences.size(); ++k) {
        if (!SingleLine(block.sentences[k].text).isEmpty())
            shown.append(k);
    }
    return shown;
}

QString BlockLine(const ReadAlongBlock &block)
{
    QString line;
    for (const TimedSentence &sentence : block.sentences) {
        const QString text = SingleLine(sentence.text);
        if (text.isEmpty())
            continue;
        if (NeedsSpace(line, text))
            line.append(u' ');
        line.append(text);
    }
    return line;
}

// A heading as the navigation document lists it.
struct NavHeading
{
    int level = 1;
    QByteArray id;
    QString text;
    QByteArray attributes; // its language and direction where they differ from the book's
};

struct ChapterParts
{
    QByteArray xhtml;
    QByteArray smil; // empty: no sentence, no media overlay
    qint64 overlayMs = 0;
    bool usesAudio = false;
    QList<NavHeading> headings;
};

struct BookFrame
{
    QString language;
    bool rightToLeft = false;
};

QByteArray LanguageAttributes(const ReadAlongBlock &block, const BookFrame &book)
{
    QByteArray attributes;
    const QString language = LanguageTag(block.language);
    if (!language.isEmpty() && language.compare(book.language, Qt::CaseInsensitive) != 0)
        attributes += " lang=\"" + language.toLatin1() + "\" xml:lang=\"" + language.toLatin1() + '"';
    if (block.rightToLeft != book.rightToLeft)
        attributes += block.rightToLeft ? " dir=\"rtl\"" : " dir=\"ltr\"";
    return attributes;
}

ChapterParts MakeChapter(const ReadAlongChapter &chapter, const QString &title, const QString &name,
                         const BookFrame &book)
{
    ChapterParts parts;
    QByteArray &x = parts.xhtml;
    const QByteArray language = book.language.toLatin1();
    x += kXhtmlStart;
    x += " lang=\"" + language + "\" xml:lang=\"" + language + '"';
    if (book.rightToLeft)
        x += " dir=\"rtl\"";
    x += ">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" + Escaped(title)
         + "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\"/>\n</head>\n<body>\n";

    const QByteArray page = name.toLatin1() + ".xhtml";
    const QByteArray audio = "audio/" + name.toLatin1() + ".mp3";
    const bool hasAudio = !chapter.audioPath.isEmpty();
    QByteArray pars;
    int sentenceNumber = 0;
    int headingNumber = 0;
    bool inList = false;
    for (const ReadAlongBlock &block : chapter.blocks) {
        const QList<qsizetype> shown = ShownSentences(block);
        if (shown.isEmpty())
            continue;
        const bool listItem = block.kind == ReadAlongBlock::Kind::ListItem;
        if (listItem != inList) {
            x += listItem ? "<ul>\n" : "</ul>\n";
            inList = listItem;
        }
        const QByteArray attributes = LanguageAttributes(block, book);
        QByteArray element;
        switch (block.kind) {
        case ReadAlongBlock::Kind::Heading: {
            element = 'h' + QByteArray::number(std::clamp(block.level, 1, 6));
            const QByteArray id = 'h' + QByteArray::number(++headingNumber);
            x += '<' + element + " id=\"" + id + '"' + attributes + '>';
            parts.headings.append({std::clamp(block.level, 1, 6), id, BlockLine(block), attributes});
            break;
        }
        case ReadAlongBlock::Kind::Paragraph:
            element = "p";
            x += "<p" + attributes + '>';
            break;
        case ReadAlongBlock::Kind::ListItem:
            element = "li";
            x += "<li" + attributes + '>';
            break;
        case ReadAlongBlock::Kind::TableCell:
            element = "p";
            x += "<p class=\"cell\"" + attributes + '>';
            break;
        }
        QStringView previous;
        for (const qsizetype k : shown) {
            const TimedSentence &sentence = block.sentences[k];
            const QByteArray id = 's' + QByteArray::number(++sentenceNumber);
            if (NeedsSpace(previous, sentence.text))
                x += ' ';
            previous = sentence.text;
            x += "<span id=\"" + id + "\">";
            AppendEscaped(x, sentence.text);
            x += "</span>";

            // A sentence without time is shown, never played.
            const qint64 played = AppendPar(pars, QString::fromLatin1(page + '#' + id),
                                            hasAudio ? QString::fromLatin1(audio) : QString(), sentence, chapter.durationMs);
            parts.overlayMs += played;
            parts.usesAudio = parts.usesAudio || played > 0;
        }
        x += "</" + element + ">\n";
    }
    if (inList)
        x += "</ul>\n";
    x += "</body>\n</html>\n";
    if (!pars.isEmpty()) {
        parts.smil = SmilOverlay(pars);
    }
    return parts;
}

// The headings of a chapter as nested lists: each under the nearest one before it of a
// higher rank.
void AppendHeadings(QByteArray &out, const QByteArray &page, const QList<NavHeading> &headings)
{
    struct Open
    {
        int level;
        bool hasList;
    };
    std::vector<Open> open;
    out += "<ol>\n";
    for (const NavHeading &heading : headings) {
        while (!open.empty() && open.back().level >= heading.level) {
            out += open.back().hasList ? "</ol>\n</li>\n" : "</li>\n";
            open.pop_back();
        }
        if (!open.empty() && !open.back().hasList) {
            out += "\n<ol>\n";
            open.back().hasList = true;
        }
        out += "<li><a href=\"" + page + '#' + heading.id + '"' + heading.attributes + '>' + Escaped(heading.text)
               + "</a>";
        open.push_back({heading.level, false});
    }
    while (!open.empty()) {
        out += open.back().hasList ? "</ol>\n</li>\n" : "</li>\n";
        open.pop_back();
    }
    out += "</ol>\n";
}

// Whether bytes begin as the image type says.
bool LooksLike(const QByteArray &bytes, const QString &mimeType)
{
    if (mimeType == u"image/jpeg")
        return bytes.startsWith("\xFF\xD8\xFF");
    if (mimeType == u"image/png")
        return bytes.startsWith("\x89PNG\r\n\x1A\n");
    if (mimeType == u"image/gif")
        return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
    return false;
}

QString CoverExtension(const QString &mimeType)
{
    return mimeType == u"image/jpeg" ? u"jpg"_s : mimeType.mid(6);
}

// Refuses in words what the book may not be.
QString Refusal(const ReadAlongBook &book, const QString &language, const QString &path)
{
    if (SingleLine(book.title).isEmpty())
        return u"The read-along book has no title: "_s + path;
    if (language.isEmpty())
        return u"The read-along book's language is not a language tag (\"%1\"): "_s.arg(book.language) + path;
    if (book.chapters.isEmpty())
        return u"The read-along book has no chapters: "_s + path;
    return ReadAlongBookRefusal(book, path);
}

} // namespace

QString ReadAlongBookRefusal(const ReadAlongBook &book, const QString &path)
{
    if (book.chapters.size() > kMaxChapters)
        return u"The read-along book is too large (more than %1 chapters): "_s.arg(kMaxChapters) + path;
    qsizetype sentences = 0;
    qsizetype characters = book.title.size() + book.author.size() + book.narrator.size();
    for (const ReadAlongChapter &chapter : book.chapters) {
        characters += chapter.title.size();
        for (const ReadAlongBlock &block : chapter.blocks) {
            sentences += block.sentences.size();
            for (const TimedSentence &sentence : block.sentences)
                characters += sentence.text.size();
        }
        if (sentences > kMaxSentences)
            return u"The read-along book is too large (more than %1 sentences): "_s.arg(kMaxSentences) + path;
        if (characters > kMaxCharacters)
            return u"The read-along book is too large (more than %1 characters): "_s.arg(kMaxCharacters) + path;
    }
    if (book.cover && !book.cover->bytes.isEmpty()) {
        if (book.cover->bytes.size() > kMaxCoverBytes)
            return u"The read-along book's cover is too large: "_s + path;
        if (!LooksLike(book.cover->bytes, book.cover->mimeType))
            return u"The read-along book's cover is not a JPEG, PNG or GIF image as it says (\"%1\"): "_s.arg(
                       book.cover->mimeType)
                   + path;
    }
    for (const ReadAlongChapter &chapter : book.chapters) {
        if (chapter.audioPath.isEmpty())
            continue;
        const auto status = FileSystem::Stat(chapter.audioPath);
        if (!status || status->kind != FileSystem::Kind::Regular || status->size == 0
            || !FileSystem::OpenForReading(chapter.audioPath))
            return u"The chapter's audio cannot be read: "_s + chapter.audioPath;
    }
    return {};
}

qint64 AppendPar(QByteArray &pars, const QString &textSrc, const QString &audioSrc, const TimedSentence &sentence,
                 qint64 durationMs)
{
    qint64 begin = std::max<qint64>(sentence.startMs, 0);
    qint64 end = std::max<qint64>(sentence.endMs, begin);
    if (durationMs > 0) {
        begin = std::min(begin, durationMs);
        end = std::min(end, durationMs);
    }
    pars += "<par><text src=\"";
    AppendEscaped(pars, textSrc, true);
    pars += "\"/>";
    const bool played = !audioSrc.isEmpty() && end > begin;
    if (played) {
        pars += "<audio src=\"";
        AppendEscaped(pars, audioSrc, true);
        pars += "\" clipBegin=\"" + SmilClockValue(begin) + "\" clipEnd=\"" + SmilClockValue(end) + "\"/>";
    }
    pars += "</par>\n";
    return played ? end - begin : 0;
}

QByteArray SmilOverlay(const QByteArray &pars)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<smil xmlns=\"http://www.w3.org/ns/SMIL\" version=\"3.0\">\n<body>\n"
           + pars + "</body>\n</smil>\n";
}

QByteArray SmilClockValue(qint64 ms)
{
    return QByteArray::number(ms / 3'600'000) + ':' + QByteArray::number(ms / 60'000 % 60).rightJustified(2, '0')
           + ':' + QByteArray::number(ms / 1000 % 60).rightJustified(2, '0') + '.'
           + QByteArray::number(ms % 1000).rightJustified(3, '0');
}

ReadAlongResult WriteReadAlongEpub(const ReadAlongBook &book, const QString &path)
{
    BookFrame frame;
    frame.language = LanguageTag(book.language);
    if (const QString refusal = Refusal(book, frame.language, path); !refusal.isEmpty())
        return Failure(refusal);
    frame.rightToLeft = IsRightToLeft(frame.language);
    const QString title = SingleLine(book.title);
    const QString author = SingleLine(book.author);
    const QString narrator = SingleLine(book.narrator);
    const QDateTime modified = (book.modified.isValid() ? book.modified : QDateTime::currentDateTimeUtc()).toUTC();

    ZipWriter zip(path, modified);
    if (!zip.IsOpen())
        return Failure(u"Cannot write the read-along book (%1): "_s.arg(zip.Error()) + path);
    const auto failed = [&zip, &path] {
        return Failure(u"Cannot write the read-along book (%1): "_s.arg(zip.Error()) + path);
    };
    // The mimetype first and stored, so that the type is read at a fixed place.
    if (!zip.Add(u"mimetype"_s, "application/epub+zip", false)
        || !zip.Add(u"META-INF/container.xml"_s,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
                    "<rootfiles>\n"
                    "<rootfile full-path=\"EPUB/package.opf\" media-type=\"application/oebps-package+xml\"/>\n"
                    "</rootfiles>\n</container>\n")
        || !zip.Add(u"EPUB/style.css"_s, ReadAlongStyleSheet() + "p.cell {\n  margin: 0.25em 0 0.25em 1.5em;\n}\n"))
        return failed();

    const QByteArray language = frame.language.toLatin1();
    QByteArray manifest = "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
                          "<item id=\"style\" href=\"style.css\" media-type=\"text/css\"/>\n";
    QByteArray spine;
    QByteArray durations;
    qint64 totalMs = 0;
    bool overlays = false;
    QByteArray toc;
    for (qsizetype c = 0; c < book.chapters.size(); ++c) {
        const ReadAlongChapter &chapter = book.chapters[c];
        const QString name = u"chapter-%1"_s.arg(c + 1, 3, 10, QLatin1Char('0'));
        const QByteArray id = name.toLatin1();
        const QByteArray overlay = "overlay-" + QByteArray::number(c + 1).rightJustified(3, '0');
        QString chapterTitle = SingleLine(chapter.title);
        for (qsizetype b = 0; chapterTitle.isEmpty() && b < chapter.blocks.size(); ++b) {
            if (chapter.blocks[b].kind == ReadAlongBlock::Kind::Heading)
                chapterTitle = BlockLine(chapter.blocks[b]);
        }
        if (chapterTitle.isEmpty())
            chapterTitle = QString::number(c + 1);

        ChapterParts parts = MakeChapter(chapter, chapterTitle, name, frame);
        if (!zip.Add(u"EPUB/"_s + name + u".xhtml"_s, std::move(parts.xhtml)))
            return failed();
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"";
        if (!parts.smil.isEmpty()) {
            if (!zip.Add(u"EPUB/"_s + name + u".smil"_s, std::move(parts.smil)))
                return failed();
            manifest += " media-overlay=\"" + overlay + "\"/>\n<item id=\"" + overlay + "\" href=\"" + id
                        + ".smil\" media-type=\"application/smil+xml\"/>\n";
            durations += "<meta property=\"media:duration\" refines=\"#" + overlay + "\">"
                         + SmilClockValue(parts.overlayMs) + "</meta>\n";
            totalMs += parts.overlayMs;
            overlays = true;
        } else {
            manifest += "/>\n";
        }
        if (parts.usesAudio) {
            if (!zip.AddFile(u"EPUB/audio/"_s + name + u".mp3"_s, chapter.audioPath))
                return failed();
            manifest += "<item id=\"audio-" + id + "\" href=\"audio/" + id + ".mp3\" media-type=\"audio/mpeg\"/>\n";
        }
        spine += "<itemref idref=\"" + id + "\"/>\n";

        toc += "<li><a href=\"" + id + ".xhtml\">" + Escaped(chapterTitle) + "</a>";
        QList<NavHeading> headings;
        for (const NavHeading &heading : parts.headings) {
            if (heading.text.isEmpty() || (headings.isEmpty() && heading.id == "h1" && heading.text == chapterTitle))
                continue; // the heading that is the chapter's title is its entry already
            headings.append(heading);
        }
        if (!headings.isEmpty()) {
            toc += '\n';
            AppendHeadings(toc, id + ".xhtml", headings);
        }
        toc += "</li>\n";
    }

    QByteArray nav = kXhtmlStart;
    nav += " xmlns:epub=\"http://www.idpf.org/2007/ops\" lang=\"" + language + "\" xml:lang=\"" + language + '"';
    if (frame.rightToLeft)
        nav += " dir=\"rtl\"";
    nav += ">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" + Escaped(title)
           + "</title>\n</head>\n<body>\n<nav epub:type=\"toc\" id=\"toc\">\n<ol>\n" + toc
           + "</ol>\n</nav>\n</body>\n</html>\n";
    if (!zip.Add(u"EPUB/nav.xhtml"_s, nav))
        return failed();

    if (book.cover && !book.cover->bytes.isEmpty()) {
        const QString file = u"cover."_s + CoverExtension(book.cover->mimeType);
        if (!zip.Add(u"EPUB/"_s + file, book.cover->bytes, false))
            return failed();
        manifest += "<item id=\"cover-image\" href=\"" + file.toLatin1() + "\" media-type=\""
                    + book.cover->mimeType.toLatin1() + "\" properties=\"cover-image\"/>\n";
    }

    const QByteArray identifier =
        QUuid::createUuidV5(kIdentifierNamespace, (title + u'\n' + author + u'\n' + frame.language.toLower()).toUtf8())
            .toByteArray(QUuid::WithoutBraces);
    QByteArray package = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" "
                         "xml:lang=\""
                         + language + "\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                         + "<dc:identifier id=\"book-id\">urn:uuid:" + identifier + "</dc:identifier>\n"
                         + "<dc:title>" + Escaped(title) + "</dc:title>\n";
    if (!author.isEmpty())
        package += "<dc:creator>" + Escaped(author) + "</dc:creator>\n";
    package += "<dc:language>" + language + "</dc:language>\n";
    package += "<meta property=\"dcterms:modified\">" + modified.toString(Qt::ISODate).toLatin1() + "</meta>\n";
    if (overlays) {
        package += "<meta property=\"media:duration\">" + SmilClockValue(totalMs) + "</meta>\n" + durations;
        if (!narrator.isEmpty())
            package += "<meta property=\"media:narrator\">" + Escaped(narrator) + "</meta>\n";
        package += "<meta property=\"media:active-class\">" + QByteArray(kActiveClass) + "</meta>\n";
    }
    package += "</metadata>\n<manifest>\n" + manifest + "</manifest>\n<spine";
    if (frame.rightToLeft)
        package += " page-progression-direction=\"rtl\"";
    package += ">\n" + spine + "</spine>\n</package>\n";
    if (!zip.Add(u"EPUB/package.opf"_s, package) || !zip.Close())
        return failed();
    return {true, {}};
}
