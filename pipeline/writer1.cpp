#include "pipeline/writer1.h"

#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "api/documentreader.h"
#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;

namespace {

// Writes the text pieces in the code page as long as the code page holds them; at the
// first character it does not hold, what was written so far is written again as UTF-8
// behind the byte-order mark, and the rest follows so. Written in large blocks; a
// surrogate pair split between two pieces is kept whole.
class WorkingTextWriter
{
public:
    WorkingTextWriter(FileSystem::ReplacingFile &file, const QString &path)
        : m_file(file)
        , m_path(path)
    {
    }

    void Write(QStringView piece)
    {
        if (piece.isEmpty())
            return;
        QString whole;
        if (!m_pendingHigh.isNull()) {
            whole = QString(m_pendingHigh) + piece.toString();
            m_pendingHigh = QChar();
            piece = whole;
        }
        if (piece.back().isHighSurrogate()) {
            m_pendingHigh = piece.back();
            piece.chop(1);
        }
        if (!m_utf8 && !CodePage::Holds(piece))
            ToUtf8();
        m_buffer.append(m_utf8 ? piece.toUtf8() : CodePage::Encode(piece));
        if (m_buffer.size() >= 256 * 1024)
            Flush();
    }

    void Finish()
    {
        if (!m_pendingHigh.isNull())
            m_buffer.append(m_utf8 ? QByteArray("\xEF\xBF\xBD") : QByteArray("?"));
        m_pendingHigh = QChar();
        Flush();
    }

private:
    void ToUtf8()
    {
        Flush();
        const auto written = FileSystem::ReadFile(m_file.TemporaryPath(), qint64(1) << 31);
        if (!written)
            throw FileSystemError(written.Error(), m_path);
        if (const int error = m_file.Restart())
            throw FileSystemError(error, m_path);
        m_utf8 = true;
        m_buffer = QByteArray(CodePage::kUtf8Mark) + CodePage::Decode(*written).toUtf8();
    }

    void Flush()
    {
        if (const int error = m_file.Write(m_buffer))
            throw FileSystemError(error, m_path);
        m_buffer.clear();
    }

    FileSystem::ReplacingFile &m_file;
    const QString &m_path;
    QByteArray m_buffer;
    QChar m_pendingHigh;
    bool m_utf8 = false;
};

} // namespace

QString ExtractDocumentText(IDocumentReader &reader, const QString &textPath, const QString &documentPath,
                            DocumentFacts *facts)
{
    // Written under another name and renamed when the whole text is there (never through
    // a link, readable by the user alone), so a document that cannot be read leaves no
    // document text file behind.
    const QString &path = textPath;
    FileSystem::ReplacingFile file;
    if (const int error = file.Open(path, 0600))
        throw FileSystemError(error, path);
    WorkingTextWriter writer(file, path);
    reader.ReadBodyText(documentPath, [&writer](QStringView piece) { writer.Write(piece); }, facts);
    writer.Finish();
    if (const int error = file.Commit())
        throw FileSystemError(error, path);
    return QString();
}
