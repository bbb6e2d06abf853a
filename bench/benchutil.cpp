#include "bench/benchutil.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sys/resource.h>
#include <zip.h>

#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

QStringList EnglishParagraphs(qint64 characters, int paragraphCount)
{
    QStringList words;
    const QStringList licences = {u"/usr/share/common-licenses/GPL-3"_s, u"/usr/share/common-licenses/LGPL-3"_s,
                                  u"/usr/share/common-licenses/Apache-2.0"_s, u"/usr/share/common-licenses/GFDL-1.3"_s};
    for (const QString &path : licences) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            words += QString::fromUtf8(file.readAll()).split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    }
    if (words.isEmpty())
        throw std::runtime_error("no licence texts found under /usr/share/common-licenses");
    // Paragraphs of about the same length, cut at word boundaries.
    const qint64 target = std::max<qint64>(20, characters / std::max(1, paragraphCount));
    QStringList paragraphs;
    QString paragraph;
    qint64 total = 0;
    for (qsizetype i = 0; total < characters; ++i) {
        if (!paragraph.isEmpty())
            paragraph += u' ';
        paragraph += words[i % words.size()];
        if (paragraph.size() >= target) {
            total += paragraph.size() + 1;
            paragraphs.append(std::exchange(paragraph, QString()));
        }
    }
    return paragraphs;
}

void WriteOdt(const QString &path, const QStringList &paragraphs, int headingEvery)
{
    QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\">"
        "<office:body><office:text>";
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        if (headingEvery > 0 && i % headingEvery == headingEvery - 1)
            content += "<text:h text:outline-level=\"1\">" + paragraphs[i].left(60).toHtmlEscaped().toUtf8() + "</text:h>";
        else
            content += "<text:p text:style-name=\"Standard\">" + paragraphs[i].toHtmlEscaped().toUtf8() + "</text:p>";
    }
    content += "</office:text></office:body></office:document-content>";
    const QByteArray manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
        "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/"
        "vnd.oasis.opendocument.text\"/><manifest:file-entry manifest:full-path=\"content.xml\" "
        "manifest:media-type=\"text/xml\"/></manifest:manifest>";
    const QByteArray mimetype = "application/vnd.oasis.opendocument.text";

    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("cannot create the benchmark document");
    auto add = [zip](const char *name, const QByteArray &bytes, bool store) {
        zip_source_t *source = zip_source_buffer(zip, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(zip, name, source, ZIP_FL_OVERWRITE);
        if (store)
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    };
    add("mimetype", mimetype, true);
    add("content.xml", content, false);
    add("META-INF/manifest.xml", manifest, false);
    if (zip_close(zip) != 0)
        throw std::runtime_error("cannot write the benchmark document");
}

double PeakMemoryMiB()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

EventLoopGapMeter::EventLoopGapMeter()
{
    m_timer.setInterval(10);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        const qint64 now = m_clock.elapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    });
}

void EventLoopGapMeter::Start()
{
    m_clock.start();
    m_last = 0;
    m_longest = 0;
    m_timer.start();
}

void PrintingBoxes::Information(const QString &text)
{
    std::printf("box: %s\n", qPrintable(text));
}

void PrintingBoxes::ErrorReport(const QString &text)
{
    std::printf("error report: %s\n", qPrintable(text));
}
