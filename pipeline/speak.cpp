#include "pipeline/speak.h"

#include "api/speech.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/statements.h"
#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;

bool SpeechOutcome::ClassNotRegistered() const
{
    return failed && number == ErrorNumber::ClassNotRegistered;
}

bool SpokenWavListed(const QString &wavPath)
{
    const auto status = FileSystem::Stat(wavPath);
    return status && status->kind == FileSystem::Kind::Regular && !GetFileName(wavPath).startsWith(u'.');
}

namespace {

// The error of a statement that uses an object that is not there.
template<typename T>
T &Must(const std::unique_ptr<T> &object)
{
    if (!object)
        throw RuntimeError(u"Object variable or With block variable not set"_s, ErrorNumber::ObjectVariableNotSet);
    return *object;
}

} // namespace

Speak::Speak(const CoreServices &services)
    : m_services(services)
{
}

Speak::~Speak() = default;

SpeechOutcome Speak::SaveToWAV(IFailureHandler &reports, const SpeechChoice &choice, QString text,
                              QString wavPath, const QList<Passage> *passages)
{
    Statements run(reports, SiteTag(u"Speak"_s, u"SaveToWAV"_s));
    ISpeechEngine &engine = m_services.Speech();
    std::exception_ptr pending; // a failure of the speak call itself
    QList<qint64> lineStarts;

    run(100, [&] {
        m_renderingVoice.reset();
        m_renderingVoice = engine.CreateVoice();
    });
    if (!run.If(102, [&] { return m_renderingVoice == nullptr; })) {
        if (run.If(104, [&] { return choice.voice != -1; }))
            run(106, [&] { Must(m_renderingVoice).SelectVoice(choice.voice); });
        run(108, [&] { Must(m_renderingVoice).SetVolume(choice.volume); });
        run(110, [&] { Must(m_renderingVoice).SetRate(choice.rate); });
        if (!run.If(112, [&] { return wavPath.isEmpty(); })) {
            std::unique_ptr<IAudioFileStream> stream;
            run(114, [&] { stream = engine.CreateFileStream(); });
            if (!run.If(116, [&] { return stream == nullptr; })) {
                run(118, [&] { Must(stream).SetFormat(AudioFormat{}); });
                run(120, [&] { Must(stream).Open(wavPath); });
                run(122, [&] { Must(m_renderingVoice).SetOutput(stream.get()); });
            }
            run(124, [&] { m_services.Events().Yield(); });
            run.At(126);
            try {
                if (passages)
                    Must(m_renderingVoice).SpeakPassages(*passages);
                else
                    Must(m_renderingVoice).SpeakFile(text);
            } catch (const Stop &) {
                throw;
            } catch (...) {
                pending = std::current_exception();
            }
            if (pending) {
                // Speech that failed (cut short by a full disk, a voice that cannot be
                // loaded) is never taken for whole: its file goes. The voice stays in the
                // slot until the next call replaces it.
                stream.reset();
                KillFile(m_services.Events(), wavPath);
            } else {
                run(128, [&] { Must(stream).Close(); });
                run(130, [&] { stream.reset(); });
                run(132, [&] { Must(m_renderingVoice).SetOutput(nullptr); });
                lineStarts = m_renderingVoice ? m_renderingVoice->LineStarts() : QList<qint64>();
            }
        } else {
            run.At(134);
            try {
                Must(m_renderingVoice).Speak(text);
            } catch (const Stop &) {
                throw;
            } catch (...) {
                pending = std::current_exception();
            }
        }
        if (!pending)
            run(138, [&] { m_renderingVoice.reset(); });
    }
    if (!pending)
        return {false, QString(), 0, lineStarts};
    return {true, DescribeFailure(pending), FailureNumber(pending), {}};
}
