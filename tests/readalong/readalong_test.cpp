#include "engines/wavwriter.h"
#include "readalong/cues.h"
#include "readalong/epubwriter.h"
#include "readalong/overlaidepub.h"
#include "readalong/sentences.h"
#include "tests/testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <zip.h>

#include <cmath>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList Texts(QStringView text, const QList<TextSpan> &spans)
{
    QStringList texts;
    for (const TextSpan &span : spans)
        texts.append(text.mid(span.start, span.length).toString());
    return texts;
}

ReadAlongBlock Block(ReadAlongBlock::Kind kind, QList<TimedSentence> sentences, QString language = {},
                     bool rightToLeft = false, int level = 1)
{
    ReadAlongBlock block;
    block.kind = kind;
    block.level = level;
    block.language = std::move(language);
    block.rightToLeft = rightToLeft;
    block.sentences = std::move(sentences);
    return block;
}

// A small book with every kind of block, other scripts, right-to-left text and hostile
// text, spoken by the MP3 at audio.
ReadAlongBook SampleBook(const QString &audio)
{
    using Kind = ReadAlongBlock::Kind;
    ReadAlongBook book;
    book.title = u"Read <along> & listen"_s;
    book.author = u"A. Writer"_s;
    book.language = u"en_GB"_s;
    book.narrator = u"Alan"_s;
    book.modified = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    book.cover = ReadAlongCover{QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8/"
                                                       "5+hHgAHggJ/PchI7wAAAABJRU5ErkJggg=="),
                                u"image/png"_s};
    ReadAlongChapter first;
    first.title = u"Opening"_s;
    first.audioPath = audio;
    first.durationMs = 3000;
    first.blocks = {
        Block(Kind::Heading, {{u"Opening"_s, 0, 400}}),
        Block(Kind::Paragraph,
              {{u"Dr. Smith <b> & ]]> \x01\x0B\uFFFE\U0001F600 stays."_s, 400, 1200}, {u"Next."_s, 1200, 1500}}),
        Block(Kind::Heading, {{u"Lists"_s, 1500, 1700}}, {}, false, 2),
        Block(Kind::ListItem, {{u"One."_s, 1700, 1800}}),
        Block(Kind::ListItem, {{u"Two."_s, 1800, 1900}}),
        Block(Kind::TableCell, {{u"Cell."_s, 1900, 2000}}),
        Block(Kind::Paragraph, {{u"مرحبا بالعالم."_s, 2000, 2300}}, u"ar"_s, true),
        Block(Kind::Paragraph, {{u"שלום עולם."_s, 2300, 2500}}, u"he"_s, true),
        Block(Kind::Paragraph, {{u"今日は。"_s, 2500, 2700}, {u"明日も。"_s, 2700, 2900}}, u"ja"_s),
        Block(Kind::Paragraph, {{u"Past the end."_s, 2900, 9000}, {u"Unheard."_s, 3000, 3000}}),
    };
    ReadAlongChapter second;
    second.audioPath = audio;
    second.blocks = {Block(Kind::Heading, {{u"Second chapter"_s, 0, 800}}),
                     Block(Kind::Paragraph, {{u"It ends."_s, 800, 1600}})};
    ReadAlongChapter third; // nothing to show or hear
    third.title = u"Empty"_s;
    book.chapters = {first, second, third};
    return book;
}

// A real MP3 of 3.5 seconds of a quiet tone, made with lame; empty when lame is missing.
QString MakeMp3(const QString &folder)
{
    const QString wav = folder + u"/tone.wav"_s;
    const QString mp3 = folder + u"/tone.mp3"_s;
    QFile file(wav);
    if (QStandardPaths::findExecutable(u"lame"_s).isEmpty() || !file.open(QIODevice::ReadWrite))
        return {};
    WavWriter writer(file);
    std::vector<qint16> samples(22050 * 7 / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<qint16>(2000 * std::sin(static_cast<double>(i) * 0.125));
    writer.Begin();
    writer.Write(samples.data(), static_cast<qint64>(samples.size()));
    writer.Finish();
    file.close();
    if (QProcess::execute(u"lame"_s, {u"--quiet"_s, wav, mp3}) != 0)
        return {};
    return mp3;
}

} // namespace

TEST(Sentences, FollowTheLanguageAndStayBoundedOnRunOnText)
{
    const QString text = u"Dr. Smith arrived at noon. He said e.g. this works!  Did it?\nYes"_s;
    EXPECT_EQ(Texts(text, Sentences(text, u"en_US"_s)),
              (QStringList{u"Dr. Smith arrived at noon."_s, u"He said e.g. this works!"_s, u"Did it?"_s, u"Yes"_s}));
    EXPECT_EQ(Texts(u"Ein Satz. Noch einer."_s, Sentences(u"Ein Satz. Noch einer."_s, u"no such language"_s)).size(), 2);
    EXPECT_TRUE(Sentences(u" \n\t "_s, u"en"_s).isEmpty());

    // Without a full stop: pieces of at most the limit, cut after a clause, in order.
    QString runOn;
    while (runOn.size() < 100'000)
        runOn += u"and the words went on, "_s;
    const QList<TextSpan> pieces = Sentences(runOn, u"en"_s);
    qsizetype shown = 0;
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        ASSERT_LE(pieces[k].length, SentenceLimits::kMaxLength);
        ASSERT_EQ(runOn[pieces[k].end() - 1], u',') << k;
        if (k > 0) {
            ASSERT_EQ(pieces[k].start, pieces[k - 1].end() + 1);
        }
        shown += pieces[k].length;
    }
    EXPECT_EQ(shown + pieces.size(), runOn.size());

    // One word of 100 000 units: cut at the limit, never between the halves of a character.
    const QString word = u"\U0001F600"_s.repeated(50'000);
    const QList<TextSpan> cut = Sentences(word, u"en"_s);
    EXPECT_EQ(cut.size(), 50);
    for (const TextSpan &span : cut)
        ASSERT_FALSE(word[span.start].isLowSurrogate());

    EXPECT_EQ(Sentences(u"Go on. "_s.repeated(100'000), u"en"_s).size(), 100'000);
}

TEST(SubtitleCues, LongSentencesAreCutAtClausesInTimeAndInTwoLines)
{
    const QString longSentence = u"When the train finally pulled into the station after a journey of many hours, "
                                 "everyone on the platform cheered and waved their hats at the tired driver."_s;
    const QList<Cue> cues = SubtitleCues({
        {u"Short one."_s, 0, 1000},
        {longSentence, 1000, 7000},
        {u"Not heard."_s, 7000, 7000},
        {u"\x01Tab\tand\n\nline <b>"_s, 7000, 8000},
        {u"吾輩は猫である。"_s.repeated(15), 8000, 9000},
    });
    for (qsizetype k = 0; k < cues.size(); ++k) {
        ASSERT_GE(cues[k].lines.size(), 1);
        ASSERT_LE(cues[k].lines.size(), CueLimits::kMaxLines);
        for (const QString &line : cues[k].lines)
            ASSERT_LE(line.size(), CueLimits::kMaxLineLength) << line.toStdString();
        ASSERT_LT(cues[k].startMs, cues[k].endMs);
        if (k > 0) {
            ASSERT_LT(cues[k - 1].endMs, cues[k].startMs);
        }
    }
    ASSERT_GE(cues.size(), 6);
    EXPECT_EQ(cues[0], (Cue{{u"Short one."_s}, 0, 999}));
    EXPECT_EQ(cues[1].lines, (QStringList{u"When the train finally pulled into the"_s,
                                          u"station after a journey of many hours,"_s}));
    EXPECT_EQ(cues[1].startMs, 1000);
    EXPECT_EQ(cues[1].endMs, 1000 + 6000 * 77 / 151 - 1) << "in proportion to the characters, before the next";
    EXPECT_EQ(cues[2].lines.join(u' '), u"everyone on the platform cheered and waved their hats at the tired driver."_s);
    EXPECT_EQ(cues[2].endMs, 6999);
    EXPECT_EQ(cues[3], (Cue{{u"Tab and line <b>"_s}, 7000, 7999}));
    QString japanese;
    for (qsizetype k = 4; k < cues.size(); ++k)
        japanese += cues[k].lines.join(QString());
    EXPECT_EQ(japanese, u"吾輩は猫である。"_s.repeated(15));
    EXPECT_EQ(cues.last().endMs, 9000);

    const QList<Cue> written = {{{u"One"_s}, 0, 1500}, {{u"Two é"_s, u"lines"_s}, 3'723'004, 3'725'999}};
    EXPECT_EQ(SrtText(written), QByteArray("1\n00:00:00,000 --> 00:00:01,500\nOne\n\n"
                                           "2\n01:02:03,004 --> 01:02:05,999\nTwo \xC3\xA9\nlines\n\n"));
    EXPECT_EQ(LrcText(written, u"The\ntitle"_s, u"Voice"_s),
              QByteArray("[ti:The title]\n[ar:Voice]\n[00:00.00]One\n[62:03.00]Two \xC3\xA9 lines\n"));
}

TEST(ReadAlongEpub, EverySentenceIsASpanThatItsOverlayPlays)
{
    QTemporaryDir dir;
    const QString audio = dir.filePath(u"fake.mp3"_s);
    WriteBytes(audio, QByteArray(4096, '\x55'));
    const QString path = dir.filePath(u"book.epub"_s);
    const ReadAlongBook book = SampleBook(audio);
    const ReadAlongResult result = WriteReadAlongEpub(book, path);
    ASSERT_TRUE(result.ok) << result.error.toStdString();

    const QList<ZipEntry> entries = ReadZip(path);
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries[0].name, u"mimetype"_s);
    EXPECT_TRUE(entries[0].stored);
    EXPECT_EQ(entries[0].bytes, QByteArray("application/epub+zip"));
    for (const ZipEntry &entry : entries) {
        if (!entry.name.endsWith(u".xhtml"_s) && !entry.name.endsWith(u".smil"_s) && !entry.name.endsWith(u".opf"_s))
            continue;
        QXmlStreamReader xml(entry.bytes);
        while (!xml.atEnd())
            xml.readNext();
        EXPECT_FALSE(xml.hasError()) << entry.name.toStdString() << ": " << xml.errorString().toStdString();
    }
    EXPECT_EQ(Entry(entries, u"EPUB/audio/chapter-001.mp3"_s), QByteArray(4096, '\x55'));

    const QByteArray page = Entry(entries, u"EPUB/chapter-001.xhtml"_s);
    EXPECT_TRUE(page.contains("<span id=\"s2\">Dr. Smith &lt;b&gt; &amp; ]]&gt; \xF0\x9F\x98\x80 stays.</span> "
                              "<span id=\"s3\">Next.</span>"));
    EXPECT_TRUE(page.contains("<p lang=\"ar\" xml:lang=\"ar\" dir=\"rtl\"><span id=\"s8\">"));
    EXPECT_TRUE(page.contains("<span id=\"s10\">\xE4\xBB\x8A\xE6\x97\xA5\xE3\x81\xAF\xE3\x80\x82</span><span id=\"s11\">"))
        << "no space between Japanese sentences";
    EXPECT_TRUE(page.contains("<ul>\n<li><span id=\"s5\">One.</span></li>\n<li><span id=\"s6\">Two.</span></li>\n</ul>\n"
                              "<p class=\"cell\">"));

    const QByteArray overlay = Entry(entries, u"EPUB/chapter-001.smil"_s);
    EXPECT_EQ(overlay.count("<par>"), 13);
    EXPECT_TRUE(overlay.contains("<par><text src=\"chapter-001.xhtml#s12\"/><audio src=\"audio/chapter-001.mp3\" "
                                 "clipBegin=\"0:00:02.900\" clipEnd=\"0:00:03.000\"/></par>"))
        << "a clip past the audio's end is cut there";
    EXPECT_TRUE(overlay.contains("<par><text src=\"chapter-001.xhtml#s13\"/></par>")) << "a sentence without time";
    EXPECT_TRUE(Entry(entries, u"EPUB/chapter-003.smil"_s).isEmpty());

    const QByteArray package = Entry(entries, u"EPUB/package.opf"_s);
    EXPECT_TRUE(package.contains("<dc:language>en-GB</dc:language>"));
    EXPECT_TRUE(package.contains("<meta property=\"dcterms:modified\">2024-05-06T07:08:09Z</meta>"));
    EXPECT_TRUE(package.contains("<meta property=\"media:duration\">0:00:04.600</meta>\n"
                                 "<meta property=\"media:duration\" refines=\"#overlay-001\">0:00:03.000</meta>\n"
                                 "<meta property=\"media:duration\" refines=\"#overlay-002\">0:00:01.600</meta>\n"
                                 "<meta property=\"media:narrator\">Alan</meta>\n"
                                 "<meta property=\"media:active-class\">-epub-media-overlay-active</meta>"));
    EXPECT_TRUE(Entry(entries, u"EPUB/style.css"_s).startsWith(".-epub-media-overlay-active {"));

    const QByteArray nav = Entry(entries, u"EPUB/nav.xhtml"_s);
    EXPECT_TRUE(nav.contains("<li><a href=\"chapter-001.xhtml\">Opening</a>\n<ol>\n"
                             "<li><a href=\"chapter-001.xhtml#h2\">Lists</a></li>\n</ol>\n</li>"));
    EXPECT_TRUE(nav.contains("<li><a href=\"chapter-002.xhtml\">Second chapter</a></li>"));

    // The same book written again, later, keeps its identifier.
    ReadAlongBook later = book;
    later.modified = later.modified.addDays(3);
    ASSERT_TRUE(WriteReadAlongEpub(later, dir.filePath(u"later.epub"_s)).ok);
    const auto identifier = [](const QByteArray &opf) {
        const qsizetype at = opf.indexOf("urn:uuid:");
        return opf.mid(at, opf.indexOf('<', at) - at);
    };
    EXPECT_EQ(identifier(Entry(ReadZip(dir.filePath(u"later.epub"_s)), u"EPUB/package.opf"_s)), identifier(package));
    EXPECT_EQ(identifier(package).size(), 45);
}

TEST(ReadAlongEpub, RefusesInWordsAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString audio = dir.filePath(u"fake.mp3"_s);
    WriteBytes(audio, QByteArray(100, '\x55'));
    const QString path = dir.filePath(u"book.epub"_s);
    const auto refusal = [&path](const ReadAlongBook &book) { return WriteReadAlongEpub(book, path).error; };

    ReadAlongBook book = SampleBook(audio);
    book.chapters[1].blocks[1].sentences = QList<TimedSentence>(ReadAlongLimits::kMaxSentences, {u"Go."_s, 0, 1});
    EXPECT_TRUE(refusal(book).startsWith(u"The read-along book is too large (more than 500000 sentences): "_s));
    book = SampleBook(audio);
    book.language = u"English!"_s;
    EXPECT_TRUE(refusal(book).contains(u"language is not a language tag (\"English!\")"_s));
    book = SampleBook(dir.filePath(u"missing.mp3"_s));
    EXPECT_EQ(refusal(book), u"The chapter's audio cannot be read: "_s + dir.filePath(u"missing.mp3"_s));
    book = SampleBook(audio);
    book.cover->mimeType = u"image/jpeg"_s;
    EXPECT_TRUE(refusal(book).startsWith(u"The read-along book's cover is not a JPEG, PNG or GIF image"_s));
    EXPECT_FALSE(QFileInfo::exists(path));

    const ReadAlongResult unwritable = WriteReadAlongEpub(SampleBook(audio), dir.filePath(u"no/such/folder/book.epub"_s));
    EXPECT_FALSE(unwritable.ok);
    EXPECT_TRUE(unwritable.error.startsWith(u"Cannot write the read-along book ("_s)) << unwritable.error.toStdString();
}

TEST(ReadAlongEpub, EpubcheckAcceptsTheBookWithoutAWarning)
{
    QTemporaryDir dir;
    const QString audio = EpubcheckOutput(QString()).isNull() ? QString() : MakeMp3(dir.path());
    if (audio.isEmpty())
        GTEST_SKIP() << "epubcheck or lame is not installed";
    const QString path = dir.filePath(u"book.epub"_s);
    ASSERT_TRUE(WriteReadAlongEpub(SampleBook(audio), path).ok);

    const QString output = EpubcheckOutput(path);
    EXPECT_TRUE(output.contains(u"No errors or warnings detected."_s)) << output.toStdString();
}

namespace {

// The text of each element with an id on an XHTML page, and the page's whole text.
std::pair<QHash<QString, QString>, QString> PageTexts(const QByteArray &page)
{
    QHash<QString, QString> texts;
    QString whole;
    QStringList open; // ids of the elements entered, "" for those without one
    QXmlStreamReader xml(page);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            open.append(xml.attributes().value(u"id"_s).toString());
        else if (xml.isEndElement())
            open.removeLast();
        else if (xml.isCharacters()) {
            whole += xml.text();
            for (const QString &id : std::as_const(open))
                if (!id.isEmpty())
                    texts[id] += xml.text();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return {texts, whole};
}

QByteArray Opf(const QByteArray &version, const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"" + version
           + "\" unique-identifier=\"id\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
             "<dc:identifier id=\"id\">urn:uuid:0f1e2d3c-4b5a-4987-a6b5-c4d3e2f1a0b9</dc:identifier>\n"
             "<dc:title>Pages</dc:title>\n<dc:language>en</dc:language>\n"
             "<meta property=\"dcterms:modified\">2020-01-01T00:00:00Z</meta>\n</metadata>\n<manifest>\n"
             "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
             "<item id=\"one\" href=\"text/one.xhtml\" media-type=\"application/xhtml+xml\"" + items + "/>\n"
             "<item id=\"two\" href=\"text/two.xhtml\" media-type=\"application/xhtml+xml\"/>\n"
             "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n"
             "<item id=\"pic\" href=\"pic.png\" media-type=\"image/png\"/>\n"
             "</manifest>\n<spine>\n<itemref idref=\"one\"/>\n<itemref idref=\"two\"/>\n</spine>\n</package>\n";
}

QByteArray Xhtml(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "lang=\"en\" xml:lang=\"en\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>Page</title>\n"
           "<link rel=\"stylesheet\" type=\"text/css\" href=\"../style.css\"/>\n</head>\n<body>\n" + body
           + "\n</body>\n</html>\n";
}

} // namespace

TEST(OverlaidEpub, TheBooksOwnPagesKeepEveryWordAndGainASpanForEachSentenceHeard)
{
    QTemporaryDir dir;
    QString audio = EpubcheckOutput(QString()).isNull() ? QString() : MakeMp3(dir.path());
    if (audio.isEmpty()) {
        audio = dir.filePath(u"fake.mp3"_s);
        WriteBytes(audio, QByteArray(4096, '\x55'));
    }
    const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8/"
                                                  "5+hHgAHggJ/PchI7wAAAABJRU5ErkJggg==");
    // Markup inside sentences, blanks alone between two words' markup, a sentence that ends
    // inside the markup that begins the next, a picture, an id like the ones given.
    const QByteArray one = Xhtml("<h1 id=\"vt-s1\">The <em>first</em> page</h1>\n"
                                 "<p>He said <em>hello</em> <strong>there</strong>. <em>Stop. Go</em> on now.</p>\n"
                                 "<p><img src=\"../pic.png\" alt=\"A picture\"/></p>\n<p>Yes.</p>");
    const QByteArray two = Xhtml("<p dir=\"rtl\" lang=\"he\" xml:lang=\"he\">שלום עולם.</p>\n<p>Yes.</p>");
    const QByteArray nav = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/"
                           "1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" lang=\"en\" xml:lang=\"en\"><head>"
                           "<title>Contents</title></head><body><nav epub:type=\"toc\"><ol><li><a href=\"text/one.xhtml\">"
                           "One</a></li></ol></nav></body></html>\n";
    const auto source = [&](const QByteArray &version, const QByteArray &items) {
        const QString path = dir.filePath(u"source-"_s + QString::fromLatin1(version) + u".epub"_s);
        WriteZip(path, {{u"mimetype"_s, "application/epub+zip"},
                        {u"META-INF/container.xml"_s,
                         "<?xml version=\"1.0\"?>\n<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:"
                         "xmlns:container\"><rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
                         "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n"},
                        {u"OEBPS/content.opf"_s, Opf(version, items)},
                        {u"OEBPS/nav.xhtml"_s, nav},
                        {u"OEBPS/text/one.xhtml"_s, one},
                        {u"OEBPS/text/two.xhtml"_s, two},
                        {u"OEBPS/style.css"_s, "p { margin: 0 }\n"},
                        {u"OEBPS/pic.png"_s, png}});
        return path;
    };
    ReadAlongBook book;
    book.title = u"Pages"_s;
    book.language = u"en"_s;
    book.narrator = u"Alan"_s;
    ReadAlongChapter chapter;
    chapter.audioPath = audio;
    chapter.durationMs = 3500;
    chapter.blocks = {Block(ReadAlongBlock::Kind::Heading, {{u"The first page"_s, 0, 400}}),
                      Block(ReadAlongBlock::Kind::Paragraph, {{u"He said hello there."_s, 400, 900},
                                                              {u"Stop."_s, 900, 1100},
                                                              {u"Go on now."_s, 1100, 1500}}),
                      Block(ReadAlongBlock::Kind::Paragraph, {{u"[A picture]"_s, 1500, 1900}}),
                      Block(ReadAlongBlock::Kind::Paragraph, {{u"Yes."_s, 1900, 2100}}),
                      Block(ReadAlongBlock::Kind::Paragraph, {{u"שלום עולם."_s, 2100, 2900}}),
                      Block(ReadAlongBlock::Kind::Paragraph, {{u"Yes."_s, 2900, 3200}})};
    book.chapters = {chapter};

    const QString path = dir.filePath(u"book.epub"_s);
    const ReadAlongResult result = WriteOverlaidEpub(source("3.0", ""), book, path);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    const QList<ZipEntry> entries = ReadZip(path);
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries[0].name, u"mimetype"_s);
    EXPECT_TRUE(entries[0].stored);
    // Every word of the pages as it was; what the pages hold besides them as it was.
    EXPECT_EQ(PageTexts(Entry(entries, u"OEBPS/text/one.xhtml"_s)).second, PageTexts(one).second);
    EXPECT_EQ(PageTexts(Entry(entries, u"OEBPS/text/two.xhtml"_s)).second, PageTexts(two).second);
    for (const auto &[name, bytes] : {std::pair{u"OEBPS/pic.png"_s, png}, {u"OEBPS/style.css"_s, "p { margin: 0 }\n"},
                                      {u"OEBPS/nav.xhtml"_s, nav}})
        EXPECT_EQ(Entry(entries, name), bytes) << name.toStdString();
    EXPECT_TRUE(Entry(entries, u"OEBPS/text/one.xhtml"_s).contains("</em> <strong>"));

    // Each par plays what its span shows: the whole sentence, markup and all, or where the
    // markup allows no single span, its first part.
    QStringList played;
    for (const QString &page : {u"one"_s, u"two"_s}) {
        const auto [texts, whole] = PageTexts(Entry(entries, u"OEBPS/text/"_s + page + u".xhtml"_s));
        QXmlStreamReader smil(Entry(entries, u"OEBPS/vocatext-overlay-"_s + (page == u"one" ? u"1"_s : u"2"_s) + u".smil"_s));
        while (!smil.atEnd()) {
            if (smil.readNext() == QXmlStreamReader::StartElement && smil.name() == u"text")
                played.append(texts.value(smil.attributes().value(u"src"_s).toString().section(u'#', 1)));
            if (smil.isStartElement() && smil.name() == u"audio")
                played.last() += u" @"_s + smil.attributes().value(u"clipBegin"_s).toString();
        }
    }
    EXPECT_EQ(played, (QStringList{u"The first page @0:00:00.000"_s, u"He said hello there. @0:00:00.400"_s,
                                   u"Stop. @0:00:00.900"_s, u"Go @0:00:01.100"_s, u"Yes. @0:00:01.900"_s,
                                   u"שלום עולם. @0:00:02.100"_s, u"Yes. @0:00:02.900"_s}));
    const QByteArray package = Entry(entries, u"OEBPS/content.opf"_s);
    for (const char *said : {"media-overlay=\"vt-overlay-1\"", "<meta property=\"media:narrator\">Alan</meta>",
                             "<meta property=\"media:active-class\">-epub-media-overlay-active</meta>",
                             "<dc:identifier id=\"id\">urn:uuid:0f1e2d3c-4b5a-4987-a6b5-c4d3e2f1a0b9</dc:identifier>",
                             "href=\"vocatext-audio/chapter-0001.mp3\""})
        EXPECT_TRUE(package.contains(said)) << said;
    EXPECT_FALSE(package.contains("2020-01-01T00:00:00Z"));
    if (const QString output = EpubcheckOutput(path); !output.isNull() && !audio.endsWith(u"fake.mp3"_s)) {
        EXPECT_TRUE(output.contains(u"No errors or warnings detected."_s)) << output.toStdString();
    }

    // A book whose pages cannot take overlays is said so, and nothing is written.
    const QString refused = dir.filePath(u"refused.epub"_s);
    for (const auto &[version, items, why] :
         {std::tuple{"2.0", "", u"it is an EPUB 2 book, whose pages cannot play overlays"_s},
          {"3.0", " media-overlay=\"mo\"", u"it has media overlays of its own"_s}}) {
        const ReadAlongResult unsuitable = WriteOverlaidEpub(source(version, items), book, refused);
        EXPECT_TRUE(unsuitable.unsuitable && !unsuitable.ok);
        EXPECT_EQ(unsuitable.error, why);
    }
    EXPECT_EQ(WriteOverlaidEpub(audio, book, refused).error, u"it is not an EPUB book"_s);
    EXPECT_FALSE(QFileInfo::exists(refused));
}
