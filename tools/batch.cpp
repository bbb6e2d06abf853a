#include "tools/batch.h"

#include "common/codepage.h"
#include "filesystem/filesystem.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

QList<BatchLine> ParseBatch(const QString &text)
{
    QList<BatchLine> lines;
    BatchLine line;
    BatchWord word;
    bool inWord = false;
    int quotes = 0;
    bool inQuote = false;
    auto endWord = [&] {
        if (inWord)
            line.append(word);
        word = BatchWord();
        inWord = false;
    };
    for (const QChar c : text) {
        if (c == u'"') {
            if (++quotes == 3) { // three in a row: the character itself
                quotes = 0;
                word.text += c;
                word.quoted = true;
                inWord = true;
            }
            continue;
        }
        if (quotes == 1) {
            inQuote = !inQuote;
            word.quoted = true;
            inWord = true;
        }
        quotes = 0;
        if (!inQuote && (c == u'\r' || c == u'\n')) {
            endWord();
            if (!line.isEmpty())
                lines.append(line);
            line.clear();
        } else if (!inQuote && c.isSpace()) {
            endWord();
        } else {
            word.text += c;
            inWord = true;
        }
    }
    if (quotes == 1) { // a quote that ends the text
        inQuote = !inQuote;
        word.quoted = true;
        inWord = true;
    }
    if (inQuote)
        word.unclosed = true;
    endWord();
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

QList<BatchLine> ParseBatchFile(const QByteArray &file)
{
    return ParseBatch(file.startsWith("\xEF\xBB\xBF") ? Fs::NameFromNative(QByteArrayView(file).sliced(3))
                                                       : CodePage::Decode(file));
}

namespace {

// The temporary file of the copy under way, for the signal handler: its bytes, and whether
// there is one. Set and cleared with the signals blocked.
char g_temporary[4096];
volatile sig_atomic_t g_haveTemporary = 0;
pid_t g_parent = 0;

extern "C" void RemoveTemporaryAndEnd(int signal)
{
    if (g_haveTemporary)
        ::unlink(g_temporary);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Blocks the signals that end the program for as long as it lives.
class SignalsHeld
{
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &m_before);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &m_before, nullptr); }

private:
    sigset_t m_before;
};

void SetTemporary(const QString &path)
{
    const QByteArray native = Fs::NativeName(path);
    g_haveTemporary = 0;
    if (path.isEmpty() || native.size() >= qsizetype(sizeof g_temporary))
        return;
    std::memcpy(g_temporary, native.constData(), static_cast<size_t>(native.size()) + 1);
    g_haveTemporary = 1;
}

bool IsBare(const BatchWord &word, QStringView text)
{
    return !word.quoted && word.text.compare(text, Qt::CaseInsensitive) == 0;
}

int Copy(const BatchLine &words, const std::function<void(const QString &)> &err)
{
    QStringList sources;
    QString destination;
    bool expectSource = true;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const BatchWord &word = words[i];
        if (IsBare(word, u"/y") || IsBare(word, u"/b"))
            continue;
        if (IsBare(word, u"+")) {
            expectSource = true;
            continue;
        }
        if (expectSource) {
            sources.append(word.text);
            expectSource = false;
        } else if (destination.isEmpty()) {
            destination = word.text;
        } else {
            err(u"The syntax of the command is incorrect."_s);
            return 1;
        }
    }
    const bool malformed = std::any_of(words.begin(), words.end(), [](const BatchWord &word) {
        return word.unclosed || word.text.contains(QChar(0));
    });
    if (sources.isEmpty() || destination.isEmpty() || malformed) {
        err(u"The syntax of the command is incorrect."_s);
        return 1;
    }
    // A folder, a pipe or a device at the destination is never replaced; a link is (its
    // target is left alone).
    const auto target = Fs::LinkStat(destination);
    if (target && target->kind != Fs::Kind::Regular && target->kind != Fs::Kind::Link) {
        err(u"The destination is not a regular file: "_s + destination);
        return 1;
    }

    int exitCode = 0;
    // Written beside the destination and renamed over it at the end: a failed copy never
    // leaves a half file.
    Fs::ReplacingFile out;
    bool opened = false;
    bool wroteAny = false;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    // Whatever way this ends, the signal handler knows of no temporary file any more.
    struct ForgetTemporary
    {
        ~ForgetTemporary() { g_haveTemporary = 0; }
    } forget;
    for (const QString &source : std::as_const(sources)) {
        auto in = Fs::OpenForReading(source);
        if (!in) {
            err(u"The system cannot find the file specified: "_s + source);
            exitCode = 1;
            continue;
        }
        if (!opened) {
            const SignalsHeld held;
            if (const int error = out.Open(destination, Fs::WithUmask(0666))) {
                err(u"Access is denied: "_s + destination + u" ("_s + QString::fromLocal8Bit(std::strerror(error))
                    + u')');
                return 1;
            }
            SetTemporary(out.TemporaryPath());
            opened = true;
        }
        for (;;) {
            const qint64 n = in->Read(buffer.data(), buffer.size());
            if (n < 0) {
                err(u"The file cannot be read: "_s + source);
                return 1;
            }
            if (n == 0)
                break;
            if (const int error = out.Write(QByteArrayView(buffer.constData(), n))) {
                err(u"The file cannot be written: "_s + destination + u" ("_s
                    + QString::fromLocal8Bit(std::strerror(error)) + u')');
                return 1;
            }
        }
        wroteAny = true;
    }
    if (!wroteAny)
        return 1;
    const SignalsHeld held;
    // Started by a process that has ended meanwhile: nobody takes the result any more, and
    // what it would put in place may lack sources that were cleaned up.
    if (g_parent != 0 && ::getppid() != g_parent) {
        err(u"The process that started the copy has ended; nothing is written: "_s + destination);
        return 1;
    }
    const int committed = out.Commit();
    g_haveTemporary = 0;
    if (const int error = committed) {
        err(u"The file cannot be written: "_s + destination + u" ("_s + QString::fromLocal8Bit(std::strerror(error))
            + u')');
        return 1;
    }
    return exitCode;
}

} // namespace

int RunBatchLine(const BatchLine &line, const std::function<void(const QString &)> &err)
{
    if (line.isEmpty())
        return 0;
    if (line.first().text.compare(u"copy"_s, Qt::CaseInsensitive) == 0)
        return Copy(line, err);
    err(u"'"_s + line.first().text + u"' is not recognized as a command"_s);
    return 1;
}

int RunBatchFile(const QString &path, const std::function<void(const QString &)> &err)
{
    const auto bytes = Fs::ReadFile(path, qint64(1) << 30);
    if (!bytes) {
        err(u"The system cannot find the file specified: "_s + path);
        return 1;
    }
    int exitCode = 0;
    for (const BatchLine &line : ParseBatchFile(*bytes)) {
        if (RunBatchLine(line, err) != 0)
            exitCode = 1;
    }
    return exitCode;
}

void EndCleanlyOnSignals()
{
    const pid_t parent = ::getppid();
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    g_parent = parent;
    if (::getppid() != parent)
        ::raise(SIGTERM); // the parent ended before the request took hold
}
