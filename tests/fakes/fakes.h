#pragma once

#include "tests/testutil.h"
#include "documents/odtreader.h"

#include "common/eventloop.h"
#include "tests/support/plainwindow.h"
#include "common/services.h"
#include "common/documentlist.h"
#include "ui/boxreports.h"
#include "ui/messageboxes.h"
#include "common/settingsstore.h"

#include <QMap>
#include <QStringList>

#include <deque>
#include <functional>

// Message boxes that record what they were asked to show and answer from a script.
class FakeMessageBoxes final : public IMessageBoxes
{
public:
    enum class Kind { Information, Question, ErrorReport };
    struct Box
    {
        Kind kind;
        QString title;
        QString text;
    };

    void SetApplicationTitle(const QString &title) override { m_title = title; }
    void Information(const QString &text) override;
    bool Question(const QString &text) override;
    void ErrorReport(const QString &text) override;

    /// Answers for the next questions, in order; an unscripted question is answered No.
    std::deque<bool> answers;
    /// Runs inside every box, as the user's events would while a box is open.
    std::function<void(const Box &)> onShow;
    QList<Box> shown;

    QStringList Texts() const;
    QStringList ErrorReports() const;

private:
    QString m_title = QStringLiteral("Vocatext");
};

// A settings store held in memory; writes can be made to fail.
class MemorySettingsStore final : public ISettingsStore
{
public:
    std::optional<QString> Value(const QString &key) const override;
    void SetValue(const QString &key, const QString &value) override;

    QMap<QString, QString> values;
    bool failWrites = false;
    QStringList writes; // "key=value", in order
};

// An event loop that counts what it is asked and never blocks.
class FakeEventLoop final : public IEventLoop
{
public:
    void Yield() override;
    void Sleep(int milliseconds) override;

    int yields = 0;
    qint64 sleptMs = 0;
    /// Runs at every yield, as pending window events would.
    std::function<void()> onYield;
};

// The window's values: the plain window of the core library serves as the fake.
using FakeProgressBar = PlainProgressBar;
using FakeMainWindow = PlainMainWindow;

#include "api/processes.h"
#include "api/resources.h"
#include "api/speech.h"

#include <QSet>

// A speech engine that records what it was asked and writes small WAV files.
class FakeSpeechEngine final : public ISpeechEngine
{
public:
    std::unique_ptr<ISpeechVoice> CreateVoice() override;
    std::unique_ptr<IAudioFileStream> CreateFileStream() override;
    QStringList VoiceDescriptions() override;
    QString VoiceLanguage(int index) override { return languages.value(index, languages.value(0)); }
    QStringList VoiceLanguages() override { return languages.mid(0, voices.size()); }
    QString VoiceIdentity(int index, int rate) override
    {
        return voices.value(index, voices.value(0)) + QStringLiteral("|rate ") + QString::number(rate);
    }

    QStringList voices = {QStringLiteral("eSpeak NG English (Great Britain)"), QStringLiteral("eSpeak NG German"),
                          QStringLiteral("eSpeak NG French (France)")};
    QStringList languages = {QStringLiteral("en-gb"), QStringLiteral("de"), QStringLiteral("fr-fr")};
    /// Voices whose speaking fails with "Class not registered".
    QSet<int> unregistered;
    /// When set, every speak call fails with this description and number.
    QString speakFailure;
    int speakFailureNumber = 440;
    bool failCreateVoice = false;
    bool failVoiceList = false;
    /// Everything asked, in order ("SelectVoice 1", "SpeakFile /w/output001.txt", ...).
    QStringList calls;
    /// Samples written for every character spoken; a line begins to be heard where its
    /// first character's samples begin.
    int samplesPerCharacter = 10;
};

// Runs command lines without starting anything: the encoder is imitated (it writes the MP3
// named last, from the WAV named first) and command files run in-process.
class FakeProcessRunner final : public IProcessRunner
{
public:
    std::unique_ptr<IChildProcess> Run(const QString &commandLine) override;
    /// Records the limit, then runs the command as Run does.
    std::unique_ptr<IChildProcess> RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit) override;
    /// Records that the program was started from its open file, then runs it as Run does.
    std::unique_ptr<IChildProcess> RunOpened(const FileSystem::File &program, const QString &commandLine) override;
    std::unique_ptr<IWorkerProcess> StartWorker(const QStringList &arguments) override;
    void StopAll() override { ++stopAlls; }
    int stopAlls = 0;

    QStringList commandLines;
    /// The command lines whose program was started from its open file.
    QStringList openedCommandLines;
    QList<qint64> memoryLimits;
    /// Polls that a started command runs before it ends.
    int pollsToFinish = 1;
    int exitCode = 0;
    /// When set, starting fails with this error number.
    int startError = 0;
    /// Commands for which this answers true do nothing, write errorOutput and end with exit code 1.
    std::function<bool(const QString &commandLine)> fails;
    QString errorOutput;
    /// The imitated encoder ends well but writes nothing.
    bool encoderWritesNothing = false;
};

// Resources from a map.
class FakeResources final : public IResources
{
public:
    QByteArray Load(const QString &type, int id) override;
    QMap<QString, QByteArray> resources = {{QStringLiteral("CUSTOM/101"), QByteArray("#!fake encoder\n")}};
};

#include "ui/filedialogs.h"
#include "ui/shell.h"

// Dialogs that answer from a script and record what they were asked.
class FakeFileDialogs final : public IFileDialogs
{
public:
    QString OpenFiles(const QString &fileName, int options, const QString &title, const QString &filter) override;
    QString PickFolder(const QString &prompt, const QString &start) override;

    /// The file dialog's answer (folder and names separated by NUL, or one path); failWithTooMany throws 20476.
    QString openResult;
    bool failWithTooMany = false;
    /// The folder picker's answer.
    QString pickedFolder;
    QStringList asked; // "OpenFiles|name|options|title|filter", "PickFolder|prompt|start"
};

// A shell that records what it was asked to open.
class FakeShell final : public IShell
{
public:
    bool Open(const QString &target) override
    {
        opened.append(target);
        return true;
    }
    QString DesktopFolder() override;

    QStringList opened;
    QString desktop = QStringLiteral("/home/user/Desktop");
    bool failDesktop = false;
};

#include "api/random.h"

// A random source that answers a fixed number.
class FakeRandom final : public IRandom
{
public:
    int Between(int, int) override { return value; }
    int value = 50;
};

#include "common/diagnostics.h"
#include "api/documentreader.h"
#include "api/workingfolder.h"

#include <QTemporaryDir>

// Diagnostics that keep their lines.
class FakeDiagnostics final : public IDiagnostics
{
public:
    void Write(const QString &line) override { lines.append(line); }
    QStringList lines;
};

// A working folder of a temporary folder of the test's own.
class FakeWorkingFolder final : public IWorkingFolder
{
    QTemporaryDir m_dir; // first: path is made from it

public:
    QString Path() override;
    QString ForDisplay() override { return Path(); }
    FileSystem::File OpenProgram(const QString &name, const QByteArray &bytes) override;
    QString MakeJobFolder() override;
    void RemoveJobFolder(const QString &folder) override;

    int jobFolders = 0;
    /// The folder; a fresh temporary one unless a test names another.
    QString path = m_dir.path();
    /// When set, Path() fails with this description.
    QString failure;
};

// Every fake in one bundle, with the services that point at them: a fixture that holds
// one cannot forget a service. The document reader is the real one, on test files.
struct FakeServices
{
    FakeServices();
    FakeServices(const FakeServices &) = delete;
    FakeServices &operator=(const FakeServices &) = delete;

    FakeMessageBoxes boxes;
    BoxReports reports{boxes};
    MemorySettingsStore settings;
    FakeEventLoop events;
    FakeSpeechEngine speech;
    OdtReader reader;
    FakeProcessRunner processes;
    FakeResources resources;
    FakeShell shell;
    FakeFileDialogs dialogs;
    FakeRandom random;
    FakeWorkingFolder working;
    FakeDiagnostics diagnostics;
    QTemporaryDir programFolder;
    Services services;
};
