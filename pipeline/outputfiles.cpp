#include "pipeline/outputfiles.h"

#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// An MP3 that the encoder or the join wrote: a regular file with something in it.
bool HoldsAnMp3(const QString &path)
{
    const auto status = Fs::LinkStat(path);
    return status && status->kind == Fs::Kind::Regular && status->size > 0;
}

QString WithCause(const QString &what, const QString &errorOutput)
{
    const QString line = LastErrorLine(errorOutput);
    return line.isEmpty() ? what : what + u": "_s + line;
}

bool CouldNotStart(qint32 result)
{
    return result < 0 && result >= kStartFailureBase;
}

} // namespace

void WriteEncoder(IEventLoop &events, const QByteArray &bytes, const QString &path)
{
    KillFile(events, path);
    WriteBinaryFile(events, bytes, path, 0700);
}

QString EncoderPart(const QString &encoderPath)
{
    return QuotedForCommandLine(encoderPath);
}

QString EncoderArguments(const QString &wavPath, const QString &mp3Path)
{
    return u" -h "_s + QuotedForCommandLine(wavPath) + u' ' + QuotedForCommandLine(mp3Path);
}

QString EncoderCommandLine(const QString &encoderPath, const QString &wavPath, const QString &mp3Path)
{
    return EncoderPart(encoderPath) + EncoderArguments(wavPath, mp3Path);
}

void JoinCommand::Start()
{
    m_text = u"copy /y \""_s;
}

void JoinCommand::AddSegment(const QString &segmentPath)
{
    m_text += QuotedForCommandLine(segmentPath).mid(1) + u" /b + \""_s;
}

void JoinCommand::DropLastJoint()
{
    m_text.truncate(m_text.size() - 7);
}

void JoinCommand::SetTarget(const QString &targetPath)
{
    m_text += u" /b "_s + QuotedForCommandLine(targetPath);
}

QString JoinCommandText(const QString &textFile, int segmentCount, const QString &targetPath)
{
    JoinCommand command;
    command.Start();
    for (int j = 1; j <= segmentCount; ++j)
        command.AddSegment(SegmentPath(textFile, j, u".mp3"_s));
    command.DropLastJoint();
    command.SetTarget(targetPath);
    return command.Text();
}

void WriteCommandFile(const QString &text, const QString &path)
{
    if (CodePage::Decode(CodePage::Encode(text)) == text) {
        WriteTextFile(text, path);
        return;
    }
    if (const int error = Fs::WriteReplacing(path, "\xEF\xBB\xBF" + Fs::NativeName(text) + "\r\n", 0600))
        throw FileSystemError(error, path);
}

void Leftovers::Add(const QString &path)
{
    Forget(path);
    m_files.emplace_back(path, Fs::HoldTemporary(path));
}

void Leftovers::Forget(const QString &path)
{
    std::erase_if(m_files, [&path](const auto &file) { return file.first == path; });
}

void Leftovers::RemoveAll()
{
    for (const auto &file : m_files)
        Fs::Remove(file.first);
    m_files.clear();
}

void RemoveLeftPartials(const QString &outputPath)
{
    Fs::RemoveLeftTemporaries(GetFolderPath(outputPath));
}

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
        return u"The MP3 file is write-protected, so it is left as it is: "_s + outputPath;
    if (!status || status->kind == Fs::Kind::Regular || status->kind == Fs::Kind::Link)
        return QString();
    return u"The MP3 file cannot be written because something that is not a file stands at its place: "_s
           + outputPath;
}

QString PartialName(const QString &outputPath)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString letters;
    for (int i = 0; i < 8; ++i)
        letters += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
    return GetFolderPath(outputPath) + QString::fromUtf16(Fs::kTemporaryPrefix) + letters
           + QString::fromUtf16(Fs::kTemporarySuffix);
}

QString CreatePartial(const QString &outputPath)
{
    // A short name of its own, whatever the MP3's: every name the folder can hold converts.
    auto created = Fs::CreateUnique(GetFolderPath(outputPath), QString::fromUtf16(Fs::kTemporaryPrefix),
                                    Fs::WithUmask(0666), QString::fromUtf16(Fs::kTemporarySuffix));
    if (!created)
        throw RuntimeError(u"The MP3 file cannot be written to its folder: "_s + outputPath + u" ("_s
                               + FileSystemError(created.Error(), outputPath).description() + u')',
                           ErrorNumber::PathFileAccessError);
    created->second.Close();
    return created->first;
}

void PutInPlace(const QString &partial, const QString &outputPath)
{
    if (const int error = Fs::Rename(partial, outputPath)) {
        Fs::Remove(partial);
        throw RuntimeError(u"The MP3 file could not be put in place: "_s + outputPath + u" ("_s
                               + FileSystemError(error, outputPath).description() + u')',
                           ErrorNumber::PathFileAccessError);
    }
}

QString EncoderFailure(qint32 result, const QString &errorOutput, const QString &wavPath, const QString &mp3Path)
{
    if (CouldNotStart(result))
        return u"The MP3 encoder could not be started"_s + (errorOutput.isEmpty() ? QString() : u": "_s + errorOutput);
    if (result != 0 && Fs::IsFull(GetFolderPath(mp3Path)))
        return u"The MP3 file cannot be written, the disk is full: "_s + mp3Path;
    if (result != 0)
        return WithCause(u"The MP3 encoder failed (exit code "_s + QString::number(result) + u") on "_s + wavPath,
                         errorOutput);
    if (!HoldsAnMp3(mp3Path))
        return WithCause(u"The MP3 encoder wrote no MP3 file to "_s + mp3Path, errorOutput);
    return QString();
}

QString JoinFailure(qint32 result, const QString &errorOutput, const QString &partial, const QString &outputPath)
{
    if (CouldNotStart(result))
        return u"The segments could not be joined: the command interpreter could not be started"_s
               + (errorOutput.isEmpty() ? QString() : u": "_s + errorOutput);
    if (result != 0 || !HoldsAnMp3(partial))
        return WithCause(u"The segments could not be joined into "_s + outputPath, errorOutput);
    return QString();
}
