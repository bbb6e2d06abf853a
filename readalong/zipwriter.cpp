#include "readalong/zipwriter.h"

#include "filesystem/filesystem.h"

#include <zip.h>

ZipWriter::ZipWriter(const QString &path, const QDateTime &modified)
    : m_modified(modified.toSecsSinceEpoch())
{
    int error = 0;
    m_zip = zip_open(FileSystem::NativeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!m_zip) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        m_error = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
    }
}

ZipWriter::~ZipWriter()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipWriter::Add(const QString &name, QByteArray bytes, bool compress)
{
    m_kept.push_back(std::move(bytes));
    const QByteArray &kept = m_kept.back();
    return Added(name, zip_source_buffer(m_zip, kept.constData(), static_cast<zip_uint64_t>(kept.size()), 0), compress);
}

bool ZipWriter::AddFile(const QString &name, const QString &path)
{
    return Added(name, zip_source_file(m_zip, FileSystem::NativeName(path).constData(), 0, 0), false);
}

bool ZipWriter::AddFromZip(const QString &name, zip_t *archive, qint64 index)
{
    return Added(name, zip_source_zip(m_zip, archive, static_cast<zip_uint64_t>(index), 0, 0, -1), true);
}

bool ZipWriter::Close()
{
    if (zip_close(m_zip) != 0)
        return Failed();
    m_zip = nullptr;
    return true;
}

bool ZipWriter::Added(const QString &name, zip_source_t *source, bool compress)
{
    if (!source)
        return Failed();
    const zip_int64_t index = zip_file_add(m_zip, name.toUtf8().constData(), source, 0);
    if (index < 0) {
        zip_source_free(source);
        return Failed();
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    if (!compress && zip_set_file_compression(m_zip, entry, ZIP_CM_STORE, 0) != 0)
        return Failed();
    if (m_modified >= 315'532'800 && zip_file_set_mtime(m_zip, entry, static_cast<time_t>(m_modified), 0) != 0)
        return Failed(); // zip times begin in 1980
    return true;
}

bool ZipWriter::Failed()
{
    m_error = QString::fromUtf8(zip_strerror(m_zip));
    return false;
}
