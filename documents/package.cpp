#include "documents/package.h"

#include "filesystem/filesystem.h"

#include <QFile>
#include <QStringList>
#include <QUrl>

#include <zip.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

struct ZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};

// An entry inflated piece by piece: never more than it declares, so an entry that holds
// more is known at the first byte beyond, and nothing beyond is ever inflated.
class ZipEntrySource final : public ByteSource
{
public:
    ZipEntrySource(zip_file_t *file, qint64 declared, const QString &path)
        : m_file(file)
        , m_declared(declared)
        , m_path(path)
    {
    }

    QByteArray Next() override
    {
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        const qint64 room = std::min<qint64>(chunk.size(), m_declared - m_inflated + 1);
        const zip_int64_t n = zip_fread(m_file.get(), chunk.data(), static_cast<zip_uint64_t>(room));
        if (n < 0)
            throw Damaged(QString::fromUtf8(zip_file_strerror(m_file.get())), m_path);
        m_inflated += n;
        if (m_inflated > m_declared)
            throw TooLarge(m_path);
        chunk.truncate(static_cast<qsizetype>(n));
        return chunk;
    }

private:
    std::unique_ptr<zip_file_t, ZipFileCloser> m_file;
    qint64 m_declared;
    QString m_path;
    qint64 m_inflated = 0;
};

} // namespace

ZipPackage::ZipPackage(const QString &path, const std::function<RuntimeError()> &notAPackage)
    : m_path(path)
{
    const auto status = FileSystem::Stat(path);
    if (!status)
        throw CannotOpen(status.Error(), path);
    if (status->kind != FileSystem::Kind::Regular || status->size == 0)
        throw notAPackage();
    m_fileSize = status->size;
    int error = 0;
    m_zip = zip_open(FileSystem::NativeName(path).constData(), ZIP_RDONLY, &error);
    if (!m_zip) {
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            throw FileAccessError(path);
        if (error == ZIP_ER_MEMORY)
            throw RuntimeError(u"Out of memory"_s, ErrorNumber::OutOfMemory);
        throw notAPackage();
    }
}

ZipPackage::~ZipPackage()
{
    if (m_zip)
        zip_discard(m_zip);
}

qint64 ZipPackage::Locate(const QString &name) const
{
    QString relative = name;
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    return zip_name_locate(m_zip, relative.toUtf8().constData(), ZIP_FL_NOCASE);
}

qint64 ZipPackage::Count() const
{
    return zip_get_num_entries(m_zip, 0);
}

quint64 ZipPackage::CheckedSize(qint64 index) const
{
    zip_stat_t entry;
    zip_stat_init(&entry);
    if (index < 0 || zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &entry) != 0)
        throw Damaged(u"a part cannot be found"_s, m_path);
    if ((entry.valid & ZIP_STAT_ENCRYPTION_METHOD) && entry.encryption_method != ZIP_EM_NONE)
        throw PasswordProtected(m_path);
    if (!(entry.valid & ZIP_STAT_SIZE))
        throw Damaged(u"a part of unknown size"_s, m_path);
    // Refused before anything is inflated: the sizes the package declares are the most it
    // may hold, and an entry that holds more is stopped at them.
    if (EntryRefusedBySize(entry.size, (entry.valid & ZIP_STAT_COMP_SIZE) ? entry.comp_size : entry.size))
        throw TooLarge(m_path);
    return entry.size;
}

QByteArray ZipPackage::ReadAll(qint64 index, qint64 limit) const
{
    if (CheckedSize(index) > static_cast<quint64>(limit))
        throw TooLarge(m_path);
    const std::unique_ptr<ByteSource> source = Open(index);
    QByteArray bytes;
    for (QByteArray piece; !(piece = source->Next()).isEmpty();)
        bytes += piece;
    return bytes;
}

std::unique_ptr<ByteSource> ZipPackage::Open(qint64 index) const
{
    const quint64 size = CheckedSize(index);
    m_opened += static_cast<qint64>(size);
    if (m_opened > DocumentLimits::kMaxEntryBytes
        || EntryRefusedBySize(static_cast<quint64>(m_opened), static_cast<quint64>(m_fileSize)))
        throw TooLarge(m_path);
    zip_file_t *file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file)
        throw Damaged(QString::fromUtf8(zip_strerror(m_zip)), m_path);
    return std::make_unique<ZipEntrySource>(file, static_cast<qint64>(size), m_path);
}

QString ResolvePartName(const QString &base, const QString &reference)
{
    QString target = reference;
    const qsizetype hash = target.indexOf(u'#');
    if (hash >= 0)
        target.truncate(hash);
    target = QUrl::fromPercentEncoding(target.toUtf8());
    QStringList parts;
    if (!target.startsWith(u'/')) {
        parts = base.split(u'/', Qt::SkipEmptyParts);
        if (!parts.isEmpty())
            parts.removeLast(); // the naming part's own name
    }
    for (const QString &part : target.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"."_s)
            continue;
        if (part == u".."_s) {
            if (parts.isEmpty())
                return QString();
            parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return parts.join(u'/');
}

XmlPull::XmlPull(ByteSource &source, YieldClock &clock, TextBudget *budget, QString path)
    : m_source(source)
    , m_clock(clock)
    , m_budget(budget)
    , m_path(std::move(path))
{
}

QXmlStreamReader::TokenType XmlPull::Next()
{
    m_clock.Tick();
    for (;;) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++m_depth > DocumentLimits::kMaxDepth)
                throw NestedTooDeeply(m_path);
        } else if (token == QXmlStreamReader::EndElement) {
            --m_depth;
        }
        if (token != QXmlStreamReader::Invalid)
            return token;
        if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
            m_clock.Check();
            const QByteArray more = m_source.Next();
            if (!more.isEmpty()) {
                if (m_budget)
                    m_budget->Read(more.size());
                xml.addData(more);
                continue;
            }
        }
        throw Damaged(xml.errorString() + u", line "_s + QString::number(xml.lineNumber()), m_path);
    }
}

bool XmlPull::NextChild()
{
    for (;;) {
        const auto token = Next();
        if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::EndDocument)
            return false;
        if (token == QXmlStreamReader::StartElement)
            return true;
    }
}

void XmlPull::Skip()
{
    const int depth = m_depth;
    while (m_depth >= depth) {
        if (Next() == QXmlStreamReader::EndDocument)
            return;
    }
}

QString XmlPull::ElementText(qsizetype limit)
{
    QString text;
    const int depth = m_depth;
    while (m_depth >= depth) {
        const auto token = Next();
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::Characters && text.size() < limit)
            text += xml.text().left(limit - text.size());
    }
    return text;
}
