#include "tests/fakes/fakes.h"

#include "common/runtimeerror.h"
#include "system/privateworkingfolder.h"

#include <cerrno>
#include <fcntl.h>

void FakeMessageBoxes::Information(const QString &text)
{
    shown.append({Kind::Information, m_title, text});
    if (onShow)
        onShow(shown.last());
}

bool FakeMessageBoxes::Question(const QString &text)
{
    shown.append({Kind::Question, m_title, text});
    if (onShow)
        onShow(shown.last());
    if (answers.empty())
        return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeMessageBoxes::ErrorReport(const QString &text)
{
    shown.append({Kind::ErrorReport, QStringLiteral("Application Error"), text});
    if (onShow)
        onShow(shown.last());
}

QStringList FakeMessageBoxes::Texts() const
{
    QStringList texts;
    for (const Box &box : shown)
        texts.append(box.text);
    return texts;
}

QStringList FakeMessageBoxes::ErrorReports() const
{
    QStringList texts;
    for (const Box &box : shown) {
        if (box.kind == Kind::ErrorReport)
            texts.append(box.text);
    }
    return texts;
}

std::optional<QString> MemorySettingsStore::Value(const QString &key) const
{
    const auto it = values.constFind(key);
    if (it == values.constEnd())
        return std::nullopt;
    return *it;
}

void MemorySettingsStore::SetValue(const QString &key, const QString &value)
{
    if (failWrites)
        throw RuntimeError(QStringLiteral("The settings could not be saved"), ErrorNumber::PermissionDenied);
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + value);
}

void FakeEventLoop::Yield()
{
    ++yields;
    if (onYield)
        onYield();
}

void FakeEventLoop::Sleep(int milliseconds)
{
    sleptMs += milliseconds;
}

#include "common/codepage.h"
#include "engines/wavwriter.h"
#include "tools/batch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

class FakeStream final : public IAudioFileStream
{
public:
    explicit FakeStream(QStringList &calls)
        : m_calls(calls)
    {
    }
    void SetFormat(const AudioFormat &format) override
    {
        m_calls.append(QStringLiteral("SetFormat %1/%2/%3").arg(format.sampleRate).arg(format.bitsPerSample).arg(format.channels));
    }
    void Open(const QString &path) override
    {
        m_calls.append(QStringLiteral("Open ") + path);
        file.setFileName(path);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw RuntimeError(QStringLiteral("Path/File access error: ") + path, ErrorNumber::PathFileAccessError);
        writer = std::make_unique<WavWriter>(file);
        writer->Begin();
    }
    void Close() override
    {
        m_calls.append(QStringLiteral("Close"));
        if (writer)
            writer->Finish();
        file.close();
    }
    QFile file;
    std::unique_ptr<WavWriter> writer;

private:
    QStringList &m_calls;
};

class FakeVoice final : public ISpeechVoice
{
public:
    explicit FakeVoice(FakeSpeechEngine &engine)
        : m_engine(engine)
    {
    }
    void SelectVoice(int index) override
    {
        m_engine.calls.append(QStringLiteral("SelectVoice %1").arg(index));
        if (index < 0 || index >= m_engine.voices.size())
            throw RuntimeError(QStringLiteral("Invalid procedure call or argument"), 5);
        m_index = index;
    }
    void SetVolume(int volume) override { m_engine.calls.append(QStringLiteral("SetVolume %1").arg(volume)); }
    void SetRate(int rate) override { m_engine.calls.append(QStringLiteral("SetRate %1").arg(rate)); }
    void SetOutput(IAudioFileStream *stream) override
    {
        m_engine.calls.append(stream ? QStringLiteral("SetOutput stream") : QStringLiteral("SetOutput none"));
        m_output = static_cast<FakeStream *>(stream);
    }
    void SpeakFile(const QString &path) override
    {
        m_engine.calls.append(QStringLiteral("SpeakFile ") + path);
        CheckFailure();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw RuntimeError(QStringLiteral("File not found: ") + path, ErrorNumber::FileNotFound);
        const QByteArray text = file.readAll();
        m_lineStarts.clear();
        if (m_output) {
            m_lineStarts.append(0);
            for (qsizetype i = 0; i + 1 < text.size(); ++i) {
                if (text[i] == '\n')
                    m_lineStarts.append((i + 1) * m_engine.samplesPerCharacter);
            }
        }
        Write(text.size());
    }
    QList<qint64> LineStarts() const override { return m_lineStarts; }
    void SpeakPassages(const QList<Passage> &passages) override
    {
        QStringList said;
        QString whole;
        for (const Passage &passage : passages) {
            said.append(QString::number(passage.voice < 0 ? m_index : passage.voice) + u':' + passage.text);
            whole += passage.text;
        }
        m_engine.calls.append(QStringLiteral("SpeakPassages ") + said.join(u'|'));
        CheckFailure();
        m_lineStarts.clear();
        if (m_output) {
            m_lineStarts.append(0);
            for (qsizetype i = 0; i + 1 < whole.size(); ++i) {
                if (whole[i] == u'\n')
                    m_lineStarts.append((i + 1) * m_engine.samplesPerCharacter);
            }
        }
        Write(whole.size());
    }
    void Speak(const QString &text) override
    {
        m_engine.calls.append(QStringLiteral("Speak ") + text);
        CheckFailure();
    }

private:
    void CheckFailure()
    {
        if (m_engine.unregistered.contains(m_index))
            throw RuntimeError(QStringLiteral("Class not registered"), ErrorNumber::ClassNotRegistered);
        if (!m_engine.speakFailure.isEmpty())
            throw RuntimeError(m_engine.speakFailure, m_engine.speakFailureNumber);
    }
    void Write(qint64 characters)
    {
        if (!m_output || !m_output->writer)
            return;
        const QList<qint16> samples(characters * m_engine.samplesPerCharacter, 1000);
        m_output->writer->Write(samples.constData(), samples.size());
    }

    FakeSpeechEngine &m_engine;
    int m_index = 0;
    FakeStream *m_output = nullptr;
    QList<qint64> m_lineStarts;
};

// A child that runs for a number of polls; when it ends, finish does its work and gives
// the exit code.
class FakeChild final : public IChildProcess
{
public:
    FakeChild(int polls, std::function<int()> finish, QString &errorOutput)
        : m_polls(polls)
        , m_finish(std::move(finish))
        , m_errorOutput(errorOutput)
    {
    }
    int ExitCode() override
    {
        if (m_exitCode != kStillActive)
            return m_exitCode;
        if (m_polls > 0 && --m_polls > 0)
            return kStillActive;
        m_exitCode = m_finish();
        return m_exitCode;
    }
    QString ErrorOutput() override { return m_errorOutput; }
    void Stop() override
    {
        if (m_exitCode == kStillActive)
            m_exitCode = 137;
    }
    qint64 PeakMemory() override { return 0; }

private:
    int m_polls;
    std::function<int()> m_finish;
    QString &m_errorOutput;
    int m_exitCode = kStillActive;
};

} // namespace

std::unique_ptr<ISpeechVoice> FakeSpeechEngine::CreateVoice()
{
    calls.append(QStringLiteral("CreateVoice"));
    if (failCreateVoice)
        throw RuntimeError(QStringLiteral("The speech engine could not be started"), ErrorNumber::CannotCreateObject);
    return std::make_unique<FakeVoice>(*this);
}

std::unique_ptr<IAudioFileStream> FakeSpeechEngine::CreateFileStream()
{
    calls.append(QStringLiteral("CreateFileStream"));
    return std::make_unique<FakeStream>(calls);
}

QStringList FakeSpeechEngine::VoiceDescriptions()
{
    if (failVoiceList)
        throw RuntimeError(QStringLiteral("The speech engine could not be started"), ErrorNumber::CannotCreateObject);
    return voices;
}

std::unique_ptr<IChildProcess> FakeProcessRunner::Run(const QString &commandLine)
{
    commandLines.append(commandLine);
    if (startError != 0)
        throw RuntimeError(QStringLiteral("cannot start"), startError);
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty() || !QFileInfo::exists(words.first()))
        throw RuntimeError(QStringLiteral("No such file or directory"), 2);
    if (fails && fails(commandLine))
        return std::make_unique<FakeChild>(pollsToFinish, [] { return 1; }, errorOutput);
    std::function<int()> finish = [this] { return exitCode; };
    if (words.first().endsWith(QStringLiteral(".bat"))) {
        const QString file = words.first();
        finish = [file, this] {
            const int code = RunBatchFile(file, [this](const QString &line) { errorOutput += line + u'\n'; });
            return code != 0 ? code : exitCode;
        };
    } else if (words.size() == 4 && words[1] == QStringLiteral("-h")) {
        const QString wav = words[2];
        const QString mp3 = words[3];
        finish = [wav, mp3, this] {
            QFile in(wav);
            QFile out(mp3);
            if (!encoderWritesNothing && in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
                out.write("MP3(" + QByteArray::number(in.size()) + ")");
            return exitCode;
        };
    }
    return std::make_unique<FakeChild>(pollsToFinish, finish, errorOutput);
}

std::unique_ptr<IChildProcess> FakeProcessRunner::RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit)
{
    memoryLimits.append(memoryLimit);
    return Run(commandLine);
}

std::unique_ptr<IChildProcess> FakeProcessRunner::RunOpened(const FileSystem::File &program,
                                                            const QString &commandLine)
{
    if (!program.IsOpen())
        throw RuntimeError(QStringLiteral("The program to start is not open"), EBADF);
    openedCommandLines.append(commandLine);
    return Run(commandLine);
}

std::unique_ptr<IWorkerProcess> FakeProcessRunner::StartWorker(const QStringList &)
{
    throw RuntimeError(QStringLiteral("No worker process can be started here"), ENOSYS);
}

QByteArray FakeResources::Load(const QString &type, int id)
{
    const QString key = type + QLatin1Char('/') + QString::number(id);
    if (!resources.contains(key))
        throw RuntimeError(QStringLiteral("Resource with identifier '%1' not found").arg(id), ErrorNumber::ResourceNotFound);
    return resources.value(key);
}

QString FakeFileDialogs::OpenFiles(const QString &fileName, int options, const QString &title, const QString &filter)
{
    asked.append(QStringList{QStringLiteral("OpenFiles"), fileName, QString::number(options), title, filter}.join(u'|'));
    if (failWithTooMany)
        throw RuntimeError(QStringLiteral("too many"), ErrorNumber::BufferTooSmall);
    return openResult;
}

QString FakeFileDialogs::PickFolder(const QString &prompt, const QString &start)
{
    asked.append(QStringList{QStringLiteral("PickFolder"), prompt, start}.join(u'|'));
    return pickedFolder;
}

QString FakeShell::DesktopFolder()
{
    if (failDesktop)
        throw RuntimeError(QStringLiteral("The desktop folder cannot be found"), ErrorNumber::PathNotFound);
    return desktop;
}

QString FakeWorkingFolder::Path()
{
    if (!failure.isEmpty())
        throw RuntimeError(failure, ErrorNumber::PermissionDenied);
    return path;
}

FileSystem::File FakeWorkingFolder::OpenProgram(const QString &name, const QByteArray &bytes)
{
    const QString folder = Path();
    const FileSystem::File descriptor(
        ::open(FileSystem::NativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return VerifiedProgram(FileSystem::OpenInFolder(descriptor.Descriptor(), name), folder + u'/' + name, bytes);
}

QString FakeWorkingFolder::MakeJobFolder()
{
    const QString folder = Path() + QStringLiteral("/vt-job-") + QString::number(++jobFolders);
    if (!QDir().mkpath(folder))
        throw RuntimeError(QStringLiteral("No working folder can be made"), EACCES);
    return folder;
}

void FakeWorkingFolder::RemoveJobFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
}

FakeServices::FakeServices()
{
    services.boxes = &boxes;
    services.reports = &reports;
    services.settings = &settings;
    services.events = &events;
    services.speech = &speech;
    services.reader = &reader;
    services.processes = &processes;
    services.resources = &resources;
    services.shell = &shell;
    services.dialogs = &dialogs;
    services.random = &random;
    services.workingFolder = &working;
    services.diagnostics = &diagnostics;
    services.programFolder = programFolder.path();
}
