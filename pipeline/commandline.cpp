#include "pipeline/commandline.h"

#include "common/codepage.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "filesystem/filesystem.h"
#include "pipeline/cut.h"

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

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

QString JoinCommandText(const QString &textFile, int segmentCount, const QString &targetPath)
{
    // copy /y "seg1" /b + "seg2" /b ... "target": the sources' bytes in order, the target overwritten.
    QString text = u"copy /y"_s;
    for (int j = 1; j <= segmentCount; ++j)
        text += (j == 1 ? u" "_s : u" /b + "_s) + QuotedForCommandLine(SegmentPath(textFile, j, u".mp3"_s));
    return text + u" /b "_s + QuotedForCommandLine(targetPath);
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
