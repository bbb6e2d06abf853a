// The cost of telling the languages of a text's passages, and of marking them in a reader.
//
//   vocatext-languages-bench [characters]      (default 200000)
//
// Prints the median time of LanguageRuns over five runs for English alone (the document's
// language named, and not), for a text that changes language every paragraph (seven
// languages in six scripts, some passages marked, the office suites' Asian and complex
// defaults marked on the rest), and the time a Word document and a web page take to read
// with and without their marks when they change language at every word, a million times.
#include "bench/benchutil.h"
#include "documents/docxreader.h"
#include "documents/htmlreader.h"
#include "languages/languageruns.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

double MedianMs(int runs, const std::function<void()> &step)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

const QString kFrench = u"Le conseil municipal s'est réuni un matin gris pour lire les rapports arrivés pendant "
                        u"l'hiver, et chacun a reconnu que les routes et la vieille gare coûteraient cher."_s;
const QString kRussian = u"Москва — столица России. Город стоит на берегах Москвы-реки, и каждое утро по его "
                         u"улицам спешат на работу миллионы людей."_s;
const QString kUkrainian = u"Київ — столиця України. Місто стоїть на берегах Дніпра, і щоранку його вулицями "
                           u"поспішають на роботу тисячі людей."_s;
const QString kJapanese = u"東京は日本の首都です。毎朝、たくさんの人が電車で会社へ行きます。"_s;
const QString kHebrew = u"The word שלום means peace, and the word ירושלים names a city."_s;
const QString kGreek = u"Η Αθήνα είναι η πρωτεύουσα της Ελλάδας."_s;

// Paragraphs of English and of other languages by turns, with the marks an office suite
// would write: the French marked, the Asian and complex defaults on every CJK and Hebrew
// letter, the rest unmarked.
std::pair<QString, QList<LanguageMark>> Mixed(const QStringList &english)
{
    QString text;
    QList<LanguageMark> marks;
    qint64 line = 0;
    const auto add = [&](const QString &paragraph) {
        if (!text.isEmpty())
            text += u'\n';
        text += paragraph;
        ++line;
    };
    for (qsizetype i = 0; i < english.size(); ++i) {
        add(english[i]);
        switch (i % 6) {
        case 0:
            marks.append({line, 0, u"fr-FR"_s});
            add(kFrench);
            marks.append({line, 0, u""_s});
            break;
        case 1:
            add(kRussian);
            break;
        case 2:
            add(kUkrainian);
            break;
        case 3:
            marks.append({line, 0, u"zh-CN"_s});
            add(kJapanese);
            marks.append({line, 0, u""_s});
            break;
        case 4:
            marks.append({line, 9, u"hi-IN"_s});
            marks.append({line, 14, u""_s});
            marks.append({line, 41, u"hi-IN"_s});
            marks.append({line, 49, u""_s});
            add(kHebrew);
            break;
        default:
            add(kGreek);
            break;
        }
    }
    return {text, marks};
}

void Runs(const char *what, const QString &text, const QString &language, const QList<LanguageMark> &marks)
{
    QList<LanguageRun> runs;
    const double ms = MedianMs(5, [&] { runs = LanguageRuns(text, language, marks); });
    QStringList languages;
    for (const LanguageRun &run : std::as_const(runs)) {
        if (!languages.contains(run.language))
            languages << run.language;
    }
    std::printf("%-44s %8lld chars %6lld runs %8.2f ms  (%s)\n", what, static_cast<long long>(text.size()),
                static_cast<long long>(runs.size()), ms, languages.join(u' ').toUtf8().constData());
}

void Read(const char *what, const std::function<QString(DocumentFacts *)> &read)
{
    read(nullptr); // the memory of the text is the process's from here on
    DocumentFacts facts;
    QString text;
    const double marked = MedianMs(3, [&] {
        facts = DocumentFacts();
        text = read(&facts);
    });
    const double plain = MedianMs(3, [&] { read(nullptr); });
    std::printf("%-44s %8lld chars %6lld marks %8.0f ms, %6.0f ms without facts\n", what,
                static_cast<long long>(text.size()), static_cast<long long>(facts.languages.size()), marked, plain);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 characters = argc > 1 ? QByteArray(argv[1]).toLongLong() : 200000;
    const QStringList english = EnglishParagraphs(characters, static_cast<int>(characters / 600));
    const QString englishText = english.join(u'\n').left(characters);
    Runs("English, its language named", englishText, u"en-US"_s, {});
    Runs("English, no language named", englishText, QString(), {});
    const auto [mixed, marks] = Mixed(EnglishParagraphs(characters / 2, static_cast<int>(characters / 1200)));
    Runs("a language change every paragraph", mixed, u"en-US"_s, marks);

    constexpr int kChanges = 1000000;
    QByteArray runs = "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p>";
    QByteArray spans = "<html lang=\"en\"><body><p>";
    for (int i = 0; i < kChanges / 2; ++i) {
        runs += "<w:r><w:rPr><w:lang w:val=\"fr\"/></w:rPr><w:t xml:space=\"preserve\">mot </w:t></w:r>"
                "<w:r><w:rPr><w:lang w:val=\"de\"/></w:rPr><w:t xml:space=\"preserve\">Wort </w:t></w:r>";
        spans += "<span lang=\"fr\">mot</span> <span lang=\"de\">Wort</span> ";
    }
    runs += "</w:p></w:body></w:document>";
    spans += "</p></body></html>";
    Read("Word, a million language changes", [&runs](DocumentFacts *facts) { return DocxBodyTextFromXml(runs, facts); });
    Read("web page, a million language changes", [&spans](DocumentFacts *facts) { return HtmlBodyText(spans, facts); });
    std::printf("peak memory: %.1f MiB\n", PeakMemoryMiB());
    return 0;
}
