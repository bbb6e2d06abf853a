#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <deque>

struct zip;
typedef struct zip zip_t;
struct zip_source;
typedef struct zip_source zip_source_t;

// A zip archive written with libzip, whole or not at all: libzip writes it beside its path
// and renames it there when it is closed. Every entry's bytes are kept until then.
class ZipWriter
{
public:
    /// Entries are dated modified (none before 1980, where zip times begin).
    ZipWriter(const QString &path, const QDateTime &modified);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    bool IsOpen() const { return m_zip != nullptr; }
    /// What failed, in libzip's words.
    const QString &Error() const { return m_error; }

    bool Add(const QString &name, QByteArray bytes, bool compress = true);
    /// The file at path, stored as it is (audio and pictures are compressed already).
    bool AddFile(const QString &name, const QString &path);
    /// The entry at index of another archive, which stays open until this one is closed.
    bool AddFromZip(const QString &name, zip_t *archive, qint64 index);
    bool Close();

private:
    bool Added(const QString &name, zip_source_t *source, bool compress);
    bool Failed();

    zip_t *m_zip = nullptr;
    qint64 m_modified = 0;
    std::deque<QByteArray> m_kept;
    QString m_error;
};
