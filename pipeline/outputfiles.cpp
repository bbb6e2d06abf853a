#include "pipeline/outputfiles.h"

#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// What the file at an output path is, in a sentence: "The MP3 file", "The audiobook", "The file".
QString OutputWords(const QString &outputPath)
{
    if (outputPath.endsWith(u".mp3"_s, Qt::CaseInsensitive))
        return u"The MP3 file"_s;
    if (outputPath.endsWith(u".m4b"_s, Qt::CaseInsensitive))
        return u"The audiobook"_s;
    return u"The file"_s;
}

} // namespace

QString BaseName(const QString &documentPath)
{
    return StripExtension(GetFileName(documentPath));
}

QString DefaultOutputPath(const QString &documentPath, const QString &baseName)
{
    return GetShortPath(GetFolderPath(documentPath)) + u'/' + baseName + u".mp3"_s;
}

QString OutputPathInFolder(const QString &folder, const QString &defaultPath)
{
    return FixPathSlashes(folder + u'/' + GetFileName(defaultPath));
}

QString OutputPathBeside(const QString &documentPath, const QString &defaultPath)
{
    return FixPathSlashes(GetFolderPath(documentPath) + u'/' + GetFileName(defaultPath));
}

QString OutputPathProblem(const QString &outputPath)
{
    const auto status = Fs::LinkStat(outputPath);
    // An MP3 the user may not write is kept, as cp would keep it.
    if (status && status->kind == Fs::Kind::Regular && !Fs::MayWrite(outputPath))
        return OutputWords(outputPath) + u" is write-protected, so it is left as it is: "_s + outputPath;
    if (!status || status->kind == Fs::Kind::Regular || status->kind == Fs::Kind::Link)
        return QString();
    return OutputWords(outputPath) + u" cannot be written because something that is not a file stands at its place: "_s
           + outputPath;
}

QString OutputPathFor(const QString &documentPath, const OutputRule &rule, const QString &extension)
{
    QString path = DefaultOutputPath(documentPath, BaseName(documentPath));
    if (rule.place == OutputRule::Place::Folder)
        path = OutputPathInFolder(rule.folder, path);
    else if (rule.place == OutputRule::Place::Beside)
        path = OutputPathBeside(documentPath, path);
    return extension == u"mp3"_s ? path : path.chopped(3) + extension;
}

PartialFile::~PartialFile()
{
    Remove();
}

PartialFile::PartialFile(PartialFile &&other) noexcept
    : m_path(std::exchange(other.m_path, QString()))
    , m_held(std::move(other.m_held))
{
}

PartialFile &PartialFile::operator=(PartialFile &&other) noexcept
{
    if (this != &other) {
        Remove();
        m_path = std::exchange(other.m_path, QString());
        m_held = std::move(other.m_held);
    }
    return *this;
}

void PartialFile::Create(const QString &outputPath)
{
    Remove();
    auto created = Fs::CreateUnique(GetFolderPath(outputPath), QString::fromUtf16(Fs::kTemporaryPrefix),
                                    Fs::WithUmask(0666), QString::fromUtf16(Fs::kTemporarySuffix));
    if (!created)
        throw RuntimeError(OutputWords(outputPath) + u" cannot be written to its folder: "_s + outputPath + u" ("_s
                               + FileSystemError(created.Error(), outputPath).description() + u')',
                           ErrorNumber::PathFileAccessError);
    m_path = created->first;
    m_held = std::move(created->second);
}

void PartialFile::Name(const QString &outputPath)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    Remove();
    QString letters;
    for (int i = 0; i < 8; ++i)
        letters += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
    m_path = GetFolderPath(outputPath) + QString::fromUtf16(Fs::kTemporaryPrefix) + letters
             + QString::fromUtf16(Fs::kTemporarySuffix);
}

void PartialFile::Hold()
{
    m_held = Fs::HoldTemporary(m_path);
}

void PartialFile::PutInPlace(const QString &outputPath)
{
    if (const int error = Fs::Rename(m_path, outputPath)) {
        Remove();
        throw RuntimeError(OutputWords(outputPath) + u" could not be put in place: "_s + outputPath + u" ("_s
                               + FileSystemError(error, outputPath).description() + u')',
                           ErrorNumber::PathFileAccessError);
    }
    m_path.clear();
    m_held.Close();
}

void PartialFile::Remove()
{
    if (m_path.isEmpty())
        return;
    Fs::Remove(std::exchange(m_path, QString()));
    m_held.Close();
}

void RemoveLeftPartials(const QString &outputPath)
{
    Fs::RemoveLeftTemporaries(GetFolderPath(outputPath));
}
