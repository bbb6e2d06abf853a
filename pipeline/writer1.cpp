#include "pipeline/writer1.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "common/workingfolder.h"
#include "platform/documentreader.h"

#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

// Encodes text pieces into the code page and writes them in large blocks. A surrogate
// pair split between two pieces is kept whole.
class CodePageFileWriter
{
public:
    explicit CodePageFileWriter(QSaveFile &file)
        : m_file(file)
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
        if (m_file.write(m_buffer) != m_buffer.size())
            throw RuntimeError(u"Path/File access error: "_s + m_file.fileName() + u" ("_s + m_file.errorString()
                                   + u')',
                               ErrorNumber::PathFileAccessError);
        m_buffer.clear();
    }

    QSaveFile &m_file;
    QByteArray m_buffer;
    QChar m_pendingHigh;
};

} // namespace

QString ExtractDocumentText(IDocumentReader &reader, const QString &documentPath)
{
    QSaveFile file(WorkingPath(u"output.txt"_s));
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw RuntimeError(u"Path/File access error: "_s + file.fileName() + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    CodePageFileWriter writer(file);
    reader.ReadBodyText(documentPath, [&writer](QStringView piece) { writer.Write(piece); });
    writer.Finish();
    if (!file.commit())
        throw RuntimeError(u"Path/File access error: "_s + file.fileName() + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    return QString();
}

void WaitSeconds(IEventLoop &events, double seconds)
{
    const double start = events.SecondsSinceMidnight();
    for (;;) {
        const double now = events.SecondsSinceMidnight();
        double elapsed = now - start;
        if (now < start)
            elapsed += 86400; // midnight has passed since the wait began
        if (elapsed >= seconds)
            return;
        events.Yield();
        events.Sleep(5);
    }
}
