#include "documents/officeconverter.h"

#include "api/processes.h"
#include "api/workingfolder.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "documents/limits.h"
#include "documents/odtreader.h"
#include "filesystem/filesystem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// LibreOffice ends with this code after it has made a fresh profile, to be started again.
constexpr int kRestartAfterProfile = 81;

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Refuses an RTF whose groups nest deeper than kMaxDepth or that holds more than
// kMaxRtfParagraphs paragraphs, before LibreOffice spends minutes and gigabytes on it.
void CheckRtf(QFile &file, const QString &path, IEventLoop *events)
{
    using namespace DocumentLimits;
    YieldClock clock(events);
    enum class State { Text, Backslash, Word, Number } state = State::Text;
    QByteArray word;
    qint64 number = 0;
    qint64 binary = 0; // bytes of \binN data still to pass over
    qint64 paragraphs = 0;
    int depth = 0;
    for (QByteArray chunk = file.read(1 << 16); !chunk.isEmpty(); chunk = file.read(1 << 16)) {
        clock.Check();
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            if (binary > 0) {
                const qint64 skipped = std::min<qint64>(binary, chunk.size() - i);
                binary -= skipped;
                i += skipped - 1;
                continue;
            }
            const char c = chunk[i];
            switch (state) {
            case State::Backslash:
                if (IsLetter(c)) {
                    word = QByteArray(1, c);
                    state = State::Word;
                } else {
                    state = State::Text; // a control symbol: \{ \} \\ \' ...
                    if (c == '\n' || c == '\r') // a backslash that ends a line is \par
                        ++paragraphs;
                }
                continue;
            case State::Word:
            case State::Number:
                if (state == State::Word && IsLetter(c)) {
                    if (word.size() < 16)
                        word += c;
                    continue;
                }
                if (IsDigit(c) || (c == '-' && state == State::Word)) {
                    if (c != '-')
                        number = std::min<qint64>(number * 10 + (c - '0'), kMaxEntryBytes);
                    state = State::Number;
                    continue;
                }
                if (word == "par" || word == "cell")
                    ++paragraphs;
                else if (word == "bin")
                    binary = number;
                number = 0;
                state = State::Text;
                if (c == ' ')
                    continue; // the control word's delimiter
                if (binary > 0) {
                    --binary;
                    continue;
                }
                break;
            case State::Text:
                break;
            }
            if (paragraphs > kMaxRtfParagraphs)
                throw TooLarge(path);
            if (c == '\\')
                state = State::Backslash;
            else if (c == '{' && ++depth > kMaxDepth)
                throw NestedTooDeeply(path);
            else if (c == '}')
                depth = std::max(depth - 1, 0);
        }
    }
    if (paragraphs > kMaxRtfParagraphs)
        throw TooLarge(path);
}

} // namespace

OfficeConverter::OfficeConverter(IProcessRunner *processes, IWorkingFolder *working, IEventLoop *events, QString office,
                                 int timeLimitSeconds, qint64 memoryLimit)
    : m_processes(processes)
    , m_working(working)
    , m_events(events)
    , m_office(std::move(office))
    , m_timeLimitSeconds(timeLimitSeconds)
    , m_memoryLimit(memoryLimit)
{
}

QString OfficeConverter::InstalledOffice()
{
    // soffice.bin itself, not its wrapper scripts: a child that overruns its time is then
    // one process that ends when it is stopped.
    for (const QString &program : {u"/usr/lib/libreoffice/program/soffice.bin"_s,
                                   u"/opt/libreoffice/program/soffice.bin"_s}) {
        const auto status = FileSystem::Stat(program);
        if (status && status->kind == FileSystem::Kind::Regular && ::access(QFile::encodeName(program).constData(), X_OK) == 0)
            return program;
    }
    return QString();
}

void OfficeConverter::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    const QString document = AbsolutePath(path);
    const auto status = FileSystem::Stat(document);
    if (!status)
        throw status.Error() == ENOENT ? RuntimeError(u"File not found: "_s + path, ErrorNumber::FileNotFound)
                                       : FileSystemError(status.Error(), path);
    if (status->size > DocumentLimits::kMaxOfficeFileBytes)
        throw TooLarge(path);
    {
        QFile file;
        OpenDocument(file, document);
        if (file.peek(5) == "{\\rtf")
            CheckRtf(file, path, m_events);
    }
    if (m_office.isEmpty() || !m_processes || !m_working)
        throw RuntimeError(u"This type of document needs LibreOffice: apt-get install libreoffice-writer-nogui"_s,
                           ErrorNumber::CannotCreateObject);

    // A folder of this conversion's own, made fresh under a name that is free.
    const QString working = m_working->Path();
    QString folder;
    int error = EEXIST;
    for (int n = 0; error == EEXIST && n < 1000; ++n) {
        folder = working + u"/office-"_s + QString::number(::getpid()) + u'-' + QString::number(n);
        error = FileSystem::MakeFolder(folder, 0700);
    }
    if (error != 0)
        throw FileSystemError(error, folder);
    struct Cleanup
    {
        QString folder;
        ~Cleanup() { FileSystem::RemoveTree(folder); }
    } cleanup{folder};

    const QString odt = Convert(document, folder);
    OdtReader(m_events).ReadBodyText(odt, sink, facts);
}

QString OfficeConverter::Convert(const QString &document, const QString &folder)
{
    const QString out = folder + u"/out"_s;
    if (const int error = FileSystem::MakeFolder(out, 0700))
        throw FileSystemError(error, out);
    const QString commandLine = QuotedForCommandLine(m_office) + u" --headless --invisible --nologo --norestore --nolockcheck"_s
                                + u" --nodefault "_s
                                + QuotedForCommandLine(u"-env:UserInstallation="_s
                                         + QUrl::fromLocalFile(folder + u"/profile"_s).toString(QUrl::FullyEncoded))
                                + u" --convert-to odt --outdir "_s + QuotedForCommandLine(out) + u' ' + QuotedForCommandLine(document);
    QElapsedTimer clock;
    clock.start();
    QString errors;
    qint64 peakMemory = 0;
    for (int start = 0; start < 2; ++start) {
        std::unique_ptr<IChildProcess> office = m_processes->RunWithMemoryLimit(commandLine, m_memoryLimit);
        int code;
        while ((code = office->ExitCode()) == kStillActive) {
            if (clock.elapsed() > qint64(m_timeLimitSeconds) * 1000) {
                office->Stop();
                throw RuntimeError(u"LibreOffice did not convert the document within %1 seconds: "_s.arg(
                                       m_timeLimitSeconds)
                                       + document,
                                   ErrorNumber::UnexpectedError);
            }
            if (m_events)
                m_events->Sleep(100);
            else
                ::usleep(100 * 1000);
        }
        errors = office->ErrorOutput().trimmed();
        peakMemory = office->PeakMemory();
        if (code == kRestartAfterProfile)
            continue;
        break;
    }
    if (const auto entries = FileSystem::ListFolder(out)) {
        for (const FileSystem::Entry &entry : *entries) {
            if (!entry.folder && entry.name.endsWith(u".odt"_s))
                return out + u'/' + entry.name;
        }
    }
    // LibreOffice fails as it likes when an allocation fails: its peak says why.
    if (m_memoryLimit > 0 && peakMemory >= m_memoryLimit / 4 * 3)
        throw TooLarge(document);
    throw RuntimeError(u"LibreOffice could not convert the document"_s
                           + (errors.isEmpty() ? QString() : u" ("_s + errors.section(u'\n', -1) + u')') + u": "_s
                           + document,
                       ErrorNumber::PathFileAccessError);
}
