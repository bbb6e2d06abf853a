// libFuzzer targets for what the reading stage parses, one executable per parser
// (VOCATEXT_FUZZ_READING names it): a PLS lexicon (also as the plain form), SSML, and any
// text through the spoken form with a lexicon. Each may refuse its input with a reason,
// never crash, hang, expand an entity or grow without bound.
//
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVOCATEXT_FUZZ=ON
//   cmake --build build-fuzz --target vocatext-pls-fuzz
//   build-fuzz/tests/vocatext-pls-fuzz -max_total_time=300 -timeout=10 -rss_limit_mb=4096 \
//       corpus/ tests/fuzz/seeds/pls/
//
// Parsers: pls, ssml, spokenform; tests/fuzz/seeds/<parser> holds the seeds.
#include "reading/lexicon.h"
#include "reading/phonemes.h"
#include "reading/speechplan.h"
#include "reading/spokenform.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
#if VOCATEXT_FUZZ_READING == 1
    const LexiconResult pls = ReadPlsLexicon(bytes);
    const LexiconResult plain = ReadPlainLexicon(bytes);
    for (const LexiconEntry &entry : pls.lexicon.entries()) {
        IpaToEspeak(entry.ipa, QStringLiteral("en"));
        IpaToFlite(entry.ipa);
    }
    MergeLexicons({pls.lexicon, plain.lexicon});
#elif VOCATEXT_FUZZ_READING == 2
    QString error;
    const SpeechPlan plan = ReadSsml(bytes, &error);
    // What was read, written and read again, is the same plan.
    QString again;
    if (error.isEmpty() && !(ReadSsml(SpeechPlanSsml(plan), &again) == plan))
        __builtin_trap();
#else
    static const QString languages[] = {QStringLiteral("en-US"), QStringLiteral("en-GB"), QStringLiteral("fr"),
                                        QStringLiteral("de"), QStringLiteral("es"), QStringLiteral("it")};
    static const LexiconResult lexicon = ReadPlainLexicon("nginx = engine x\nNew York = /nu\xCB\x90 \xCB\x88j\xC9\x94rk/\n");
    const QString text = QString::fromUtf8(bytes);
    const SpokenText spoken = SpokenForm(text, languages[size % 6], &lexicon.lexicon);
    qsizetype source = 0;
    qsizetype said = 0;
    for (const SpokenSpan &span : spoken.spans) {
        if (span.sourceStart != source || span.spokenStart != said)
            __builtin_trap();
        source += span.sourceLength;
        said += span.spokenLength;
    }
    if (source != text.size() || said != spoken.text.size())
        __builtin_trap();
#endif
    return 0;
}
