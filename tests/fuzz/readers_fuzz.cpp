// libFuzzer targets for the readers of every other type, one executable per reader
// (VOCATEXT_FUZZ_READER names it). The input is read as that type; the reader may refuse
// it with its error, never crash, hang or grow without bound.
//
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVOCATEXT_FUZZ=ON
//   cmake --build build-fuzz --target vocatext-docx-fuzz
//   build-fuzz/tests/vocatext-docx-fuzz -max_total_time=300 -timeout=10 -rss_limit_mb=4096 \
//       corpus/ tests/fuzz/seeds/docx/
//
// Readers: docx (a main document part), package (a zip as the type reader would take it:
// Word, EPUB, OpenDocument), html, xhtml, markdown, text, fodt, any (a file of any content
// under any of the names a user has). tests/fuzz/seeds/<reader> holds the seeds.
#include "common/runtimeerror.h"
#include "documents/dispatchingreader.h"
#include "documents/docxreader.h"
#include "documents/htmlreader.h"
#include "documents/markdownreader.h"
#include "documents/textreader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <unistd.h>

namespace {

// The input as a file of that name, read by the reader that tells the types apart.
[[maybe_unused]] void ReadAsFile(const QByteArray &bytes, const QString &name)
{
    static const QString folder = QDir::tempPath() + QStringLiteral("/vocatext-fuzz-%1").arg(::getpid());
    QDir().mkpath(folder);
    const QString path = folder + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(bytes);
    file.close();
    DispatchingReader reader(nullptr, nullptr, nullptr, QString());
    qint64 total = 0;
    DocumentFacts facts;
    reader.ReadBodyText(path, [&total](QStringView piece) { total += piece.size(); }, &facts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    DocumentFacts facts;
    try {
#if VOCATEXT_FUZZ_READER == 1
        DocxBodyTextFromXml(bytes, &facts);
#elif VOCATEXT_FUZZ_READER == 2
        static const QString names[] = {QStringLiteral("a.docx"), QStringLiteral("a.epub"), QStringLiteral("a.odt")};
        ReadAsFile(bytes, names[size % 3]);
#elif VOCATEXT_FUZZ_READER == 3
        HtmlBodyText(bytes, &facts);
#elif VOCATEXT_FUZZ_READER == 4
        ReadAsFile(bytes, QStringLiteral("a.xhtml"));
#elif VOCATEXT_FUZZ_READER == 5
        MarkdownText(bytes, &facts);
#elif VOCATEXT_FUZZ_READER == 6
        PlainTextFromBytes(bytes);
#elif VOCATEXT_FUZZ_READER == 7
        ReadAsFile(bytes, QStringLiteral("a.fodt"));
#else
        static const QString names[] = {QStringLiteral("a.txt"), QStringLiteral("a"), QStringLiteral("a.html"),
                                        QStringLiteral("a.md"), QStringLiteral("a.doc")};
        ReadAsFile(bytes, names[size % 5]);
#endif
    } catch (const RuntimeError &) {
    }
    return 0;
}
