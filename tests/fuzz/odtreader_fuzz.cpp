// libFuzzer target for the document reader. An input is tried as content.xml and as a
// whole package on disk, with the facts (and so the styles' languages) read; the reader may
// refuse it with its error, never crash or hang.
//
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVOCATEXT_FUZZ=ON
//   cmake --build build-fuzz --target vocatext-odtreader-fuzz
//   build-fuzz/tests/vocatext-odtreader-fuzz -max_total_time=600 -timeout=10 corpus/ tests/data/ tests/fuzz/seeds/
//
// tests/fuzz/seeds holds hostile documents (vocatext-hostile-bench --seeds writes them).
#include "common/runtimeerror.h"
#include "documents/odtreader.h"
#include "api/documentreader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        DocumentFacts facts;
        OdtBodyTextFromXml(bytes, &facts);
    } catch (const RuntimeError &) {
    }

    static const QString package = QDir::tempPath() + QStringLiteral("/vocatext-fuzz-%1.odt").arg(::getpid());
    QFile file(package);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
        file.close();
        OdtReader reader;
        qint64 total = 0;
        DocumentFacts facts;
        try {
            reader.ReadBodyText(package, [&total](QStringView piece) { total += piece.size(); }, &facts);
        } catch (const RuntimeError &) {
        }
    }
    return 0;
}
