#include "pipeline/writer1.h"

#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "api/documentreader.h"
#include "filesystem/filesystem.h"

using namespace Qt::StringLiterals;

namespace {

// Encodes text pieces into the code page and writes them in large blocks. A surrogate
// pair split between two pieces is kept whole.
class CodePageFileWriter
{
public:
    CodePageFileWriter(FileSystem::ReplacingFile &file, const QString &path)
        : m_file(file)
        , m_path(path)
    {
    }

    void Write(QStringView piece)
    {
        if (piece.isEmpty())
            return;
        if (!m_pendingHigh.isNull()) {
            const QChar pair[2] = {m_pendingHigh, piece.front()};
            m_pendingHigh = QChar();
            if (piece.front().isLowSurrogate()) {
                m_buffer.append(CodePage::Encode(QStringView(pair, 2)));
                piece = piece.mid(1);
            } else {
                m_buffer.append(CodePage::Encode(QStringView(pair, 1)));
            }
        }
        if (!piece.isEmpty() && piece.back().isHighSurrogate()) {
            m_pendingHigh = piece.back();
            piece.chop(1);
        }
        m_buffer.append(CodePage::Encode(piece));
        if (m_buffer.size() >= 256 * 1024)
            Flush();
    }

    void Finish()
    {
        if (!m_pendingHigh.isNull())
            m_buffer.append('?');
        m_pendingHigh = QChar();
        Flush();
    }

private:
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
    CodePageFileWriter writer(file, path);
    reader.ReadBodyText(documentPath, [&writer](QStringView piece) { writer.Write(piece); }, facts);
    writer.Finish();
    if (const int error = file.Commit())
        throw FileSystemError(error, path);
    return QString();
}
