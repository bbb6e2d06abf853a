#include "convert/batch.h"

#include "common/documentlist.h"
#include "common/helpers.h"
#include "common/statements.h"
#include "convert/console.h"
#include "documents/dispatchingreader.h"
#include "filesystem/filesystem.h"
#include "pipeline/documentjob.h"
#include "pipeline/folderwalk.h"
#include "pipeline/mp3frames.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// The extension of a file's name, lower case: "docx" of "a/Report.DOCX", "" of "a/README".
QString Extension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > slash + 1 ? path.mid(dot + 1).toLower() : QString();
}

// Every document of the types below the folder that is not among walked, as its bytes name
// it; the desktop's trash is not entered and a folder is entered once, however many links
// lead to it.
void FindDocuments(const QString &folder, const QStringList &types, const QSet<QString> &walked, QStringList &found,
                   QSet<std::pair<quint64, quint64>> &visited, int depth)
{
    const auto status = Fs::Stat(folder);
    if (depth > 256 || !status || visited.contains({status->device, status->inode}))
        return;
    visited.insert({status->device, status->inode});
    const auto entries = Fs::ListFolder(folder);
    if (!entries)
        return;
    for (const Fs::Entry &entry : *entries) {
        const QString path = (folder == u"/"_s ? QString() : folder) + u'/' + entry.name;
        if (entry.folder) {
            int attributes = 0;
            Quietly([&] { attributes = FileAttributes(path); });
            if (!(attributes & FileAttribute::System))
                FindDocuments(path, types, walked, found, visited, depth + 1);
        } else if (types.contains(Extension(entry.name)) && !walked.contains(path) && CanOpenFile(path)) {
            found.append(path);
        }
    }
}

// Why the window's walk of root leaves out the document at path.
QString WhyLeftOut(const QString &root, const QString &path)
{
    const QStringList names = path.mid(root.size() + 1).split(u'/');
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (HasUnsafeChars(names[i]))
            return (i + 1 == names.size() ? u"its name holds"_s : u"the name of its folder "_s + names[i] + u" holds"_s)
                   + u" control characters or bytes that are no text; give it by name to convert it"_s;
    }
    if (names.last().startsWith(u'~'))
        return u"it is the lock file of an open document"_s;
    if (names.last().startsWith(u'.'))
        return u"it is hidden"_s;
    return u"the walk of its folders does not reach it; give it by name to convert it"_s;
}

// Failures of the folder walk go to standard error in their own words; the walk goes on.
class ConsoleReports final : public IFailureHandler
{
public:
    explicit ConsoleReports(Console &console)
        : m_console(console)
    {
    }
    void Failed(const StatementFailure &failure) override
    {
        m_console.Print(u"vocatext-convert: "_s + failure.description, true);
    }

private:
    Console &m_console;
};

// True when the file is a whole MP4: its top-level boxes, a movie box among them, follow
// one another to its last byte.
bool Mp4BoxesReachItsEnd(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    bool movie = false;
    qint64 at = 0;
    while (at + 8 <= size) {
        file.seek(at);
        const QByteArray head = file.read(16);
        if (head.size() < 8)
            return false;
        const auto byte = [&head](int i) { return static_cast<quint64>(static_cast<unsigned char>(head[i])); };
        quint64 length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
        if (length == 1 && head.size() == 16) { // a 64-bit length follows the type
            length = 0;
            for (int i = 8; i < 16; ++i)
                length = (length << 8) | byte(i);
        } else if (length == 0) {
            length = static_cast<quint64>(size - at); // to the end of the file
        }
        if (length < 8 || length > static_cast<quint64>(size - at))
            return false;
        movie = movie || head.mid(4, 4) == "moov";
        at += static_cast<qint64>(length);
    }
    return movie && at == size;
}

// True when the file is a whole ZIP (an EPUB): it starts with a local entry and ends with
// the end of its central directory, which is written last.
bool ZipEndsWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 44 || !file.read(4).startsWith("PK\x03\x04"))
        return false;
    file.seek(file.size() - 22);
    return file.read(4) == QByteArray("PK\x05\x06", 4);
}

} // namespace

Batch CollectBatch(const ConvertOptions &options, const CoreServices &services, Console &console)
{
    Batch batch;
    ConsoleReports reports(console);
    StringDocumentList list;
    Statements run(reports, SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    const QStringList types = options.types.isEmpty() ? SupportedExtensions() : options.types;
    for (const QString &input : std::as_const(options.inputs)) {
        // Made absolute as text, so that a name whose bytes are not UTF-8 keeps them.
        const QString absolute = AbsolutePath(input);
        if (!FolderExists(absolute)) {
            list.Append(absolute);
            continue;
        }
        // Every type that is read, or those asked for, in the walk's order.
        StringDocumentList found;
        AddFolderFiles(run, services, found, absolute, u"*.*"_s);
        QSet<QString> walked;
        walked.reserve(found.Count());
        for (const QString &path : found.Entries()) {
            if (types.contains(Extension(path))) {
                list.Append(path);
                walked.insert(path);
            }
        }
        // What the walk leaves out is named, so that no document is lost without a word.
        QStringList leftOut;
        QSet<std::pair<quint64, quint64>> visited;
        FindDocuments(absolute, types, walked, leftOut, visited, 0);
        SortForListing(leftOut);
        for (const QString &path : std::as_const(leftOut)) {
            ++batch.leftOut;
            console.Print(u"vocatext-convert: left out "_s + path + u": "_s + WhyLeftOut(absolute, path), true);
        }
    }
    OutputRule rule;
    if (options.intoFolder)
        rule = {OutputRule::Place::Folder, options.folder};
    else if (options.beside)
        rule = {OutputRule::Place::Beside, QString()};
    QHash<QString, QString> documentOf; // output path -> the document that gives it
    for (const QString &path : list.Entries()) {
        const QString output = OutputPathFor(path, rule, FormatExtension(options.format));
        // A document whose output would stand where another document of the batch stands
        // is refused by itself later, as one written over a document of the user's is.
        const QString other = documentOf.value(output);
        if (!other.isEmpty() && other != path && other != output && path != output) {
            batch.clash = u"Two documents would be saved as one "_s + FormatWords(options.format) + u' ' + output
                          + u": "_s + other + u" and "_s + path
                          + (options.intoFolder ? u". Convert them with --beside, or into folders of their own."_s
                                                : u". Convert one of them with --out into another folder."_s);
            return batch;
        }
        if (other.isEmpty() || other == output)
            documentOf.insert(output, path);
        batch.entries.append({path, output});
    }
    // Every task of an array sees the whole batch above, so all refuse a clash alike.
    if (options.shards > 1) {
        const qsizetype all = batch.entries.size();
        const QStringList shard = ShardPaths(list.Entries(), options.shard, options.shards);
        const QSet<QString> mine(shard.begin(), shard.end());
        batch.entries.removeIf([&mine](const BatchEntry &entry) { return !mine.contains(entry.document); });
        if (!options.quiet && !options.missing)
            std::printf("shard %d/%d: %lld of %lld documents\n", options.shard ? options.shard : options.shards,
                        options.shards, static_cast<long long>(batch.entries.size()), static_cast<long long>(all));
    }
    return batch;
}

QStringList ShardPaths(const QStringList &paths, int shard, int shards)
{
    QStringList sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QStringList mine;
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if ((i + 1) % shards == shard)
            mine.append(sorted[i]);
    }
    return mine;
}

bool UpToDate(const BatchEntry &entry, OutputFormat format)
{
    const auto output = Fs::Stat(entry.output);
    const auto document = Fs::Stat(entry.document);
    if (!output || !document || output->kind != Fs::Kind::Regular || output->modifiedNs <= document->modifiedNs)
        return false;
    switch (format) {
    case OutputFormat::Mp3:
        return Mp3FilePlaysToItsEnd(entry.output);
    case OutputFormat::M4b:
        return Mp4BoxesReachItsEnd(entry.output);
    case OutputFormat::Epub:
        return ZipEndsWhole(entry.output);
    case OutputFormat::Txt:
    case OutputFormat::Ssml:
    case OutputFormat::Opus:
        return output->size > 0;
    }
    return false;
}

int ListMissing(const QList<BatchEntry> &entries, OutputFormat format, bool quiet)
{
    // Below the current folder as "./...": no name passes for an option or a whole path
    // (one that begins with ":"), and a copy of the folder elsewhere, a remote home say, finds it.
    const QString here = QDir::currentPath();
    int missing = 0;
    for (const BatchEntry &entry : entries) {
        if (UpToDate(entry, format))
            continue;
        ++missing;
        const QString below = BelowFolder(here, entry.document);
        std::printf("%s\n", Fs::NativeName(below.isEmpty() ? entry.document : below).constData());
    }
    std::fflush(stdout);
    if (missing && !quiet)
        std::fprintf(stderr, "vocatext-convert: %d of %lld documents have no %s newer than them\n", missing,
                     static_cast<long long>(entries.size()), FormatWords(format).toUtf8().constData());
    return missing ? 1 : 0;
}
