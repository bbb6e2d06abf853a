#pragma once

#include "documents/limits.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

struct zip;
struct zip_file;

// Where a reader's bytes come from: more of them on demand.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    /// The next piece; empty at the end.
    virtual QByteArray Next() = 0;
};

// Bytes given whole.
class WholeBytes final : public ByteSource
{
public:
    explicit WholeBytes(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
    }
    QByteArray Next() override { return std::exchange(m_bytes, QByteArray()); }

private:
    QByteArray m_bytes;
};

// A zip package opened for reading its entries with the limits of DocumentLimits: an entry
// that declares too much is refused before it is inflated, one that holds more than it
// declares is stopped there, and an encrypted entry is "password-protected". The entries
// opened, taken together, are held to the same inflation ratio against the package's size,
// so that many parts (or one part read many times) cannot add up to a bomb.
class ZipPackage
{
public:
    /// Opens the package; a file that is missing or unreadable throws its error, one that is
    /// not a zip package throws notAPackage().
    ZipPackage(const QString &path, const std::function<RuntimeError()> &notAPackage);
    ~ZipPackage();
    ZipPackage(const ZipPackage &) = delete;
    ZipPackage &operator=(const ZipPackage &) = delete;

    /// The entry of that name (letter case ignored, as packages of Office documents name
    /// their parts), or -1.
    qint64 Locate(const QString &name) const;
    /// The bytes of an entry, at most limit of them (a larger entry is "too large").
    QByteArray ReadAll(qint64 index, qint64 limit = qint64(16) << 20) const;
    /// The entry, piece by piece, inflated as it is read.
    std::unique_ptr<ByteSource> Open(qint64 index) const;
    /// How many entries the package holds.
    qint64 Count() const;
    const QString &Path() const { return m_path; }

private:
    quint64 CheckedSize(qint64 index) const;

    QString m_path;
    zip *m_zip = nullptr;
    qint64 m_fileSize = 0;
    mutable qint64 m_opened = 0; // the sizes of the entries opened so far
};

/// A name of a package's part resolved against the folder of the part that names it:
/// "../media/a.xhtml" from "OEBPS/text/c.xhtml" is "OEBPS/media/a.xhtml"; an absolute name
/// ("/word/document.xml") is taken from the package's root. Escapes are decoded; a
/// fragment ("#id") is left out. Empty when it climbs out of the package.
QString ResolvePartName(const QString &base, const QString &reference);

// An XML document pulled from a source token by token, with the readers' limits: the
// window is served, nesting is limited (read or skipped), every byte read counts for the
// budget, and malformed XML is "damaged" with the parser's message and line.
class XmlPull
{
public:
    XmlPull(ByteSource &source, YieldClock &clock, TextBudget *budget, QString path);

    /// The next token; never Invalid (that throws).
    QXmlStreamReader::TokenType Next();
    /// Moves to the next child element of the current element; false at its end.
    bool NextChild();
    /// Skips the element whose start was just read, with everything inside it.
    void Skip();
    /// The characters inside the element just started, its children's included; of a
    /// longer text the first limit characters.
    QString ElementText(qsizetype limit = 64 * 1024);
    /// The depth of the current element (the root is 1).
    int Depth() const { return m_depth; }

    QXmlStreamReader xml;

private:
    ByteSource &m_source;
    YieldClock &m_clock;
    TextBudget *m_budget;
    QString m_path;
    int m_depth = 0;
};
