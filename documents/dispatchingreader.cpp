#include "documents/dispatchingreader.h"

#include "documents/limits.h"
#include "documents/package.h"
#include "filesystem/filesystem.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// The types that LibreOffice opens as text documents and no reader here reads.
const QStringList kOfficeExtensions = {u"doc"_s, u"dot"_s, u"rtf"_s, u"wpd"_s, u"wps"_s, u"pages"_s, u"sxw"_s,
                                       u"stw"_s, u"sdw"_s, u"abw"_s, u"zabw"_s, u"lwp"_s, u"cwk"_s, u"mcw"_s,
                                       u"wn"_s,  u"hwp"_s, u"602"_s, u"fb2"_s, u"uot"_s, u"wri"_s};

DocumentType ByExtension(const QString &extension)
{
    static const QHash<QString, DocumentType> types = {
        {u"odt"_s, DocumentType::Odt},       {u"ott"_s, DocumentType::Odt},       {u"odm"_s, DocumentType::Odt},
        {u"oth"_s, DocumentType::Odt},       {u"fodt"_s, DocumentType::FlatOdt},  {u"docx"_s, DocumentType::Docx},
        {u"docm"_s, DocumentType::Docx},     {u"dotx"_s, DocumentType::Docx},     {u"dotm"_s, DocumentType::Docx},
        {u"epub"_s, DocumentType::Epub},     {u"txt"_s, DocumentType::Text},      {u"text"_s, DocumentType::Text},
        {u"html"_s, DocumentType::Html},     {u"htm"_s, DocumentType::Html},      {u"xhtml"_s, DocumentType::Xhtml},
        {u"xht"_s, DocumentType::Xhtml},     {u"md"_s, DocumentType::Markdown},   {u"markdown"_s, DocumentType::Markdown},
        {u"mdown"_s, DocumentType::Markdown}, {u"mkd"_s, DocumentType::Markdown}, {u"mkdn"_s, DocumentType::Markdown},
        {u"ssml"_s, DocumentType::Ssml}};
    if (kOfficeExtensions.contains(extension))
        return DocumentType::Office;
    return types.value(extension, DocumentType::Unknown);
}

bool IsPackageType(DocumentType type)
{
    return type == DocumentType::Odt || type == DocumentType::Docx || type == DocumentType::Epub;
}

// A zip package: by the mimetype it names (OpenDocument, EPUB) or its main part (Word).
DocumentType SniffZip(const QString &path, DocumentType claimed)
{
    std::optional<ZipPackage> package;
    try {
        package.emplace(path, [&path] { return RuntimeError(path); });
    } catch (const RuntimeError &) {
        // A damaged package is refused by the reader its name claims.
        return IsPackageType(claimed) ? claimed : DocumentType::Office;
    }
    try {
        if (const qint64 index = package->Locate(u"mimetype"_s); index >= 0) {
            const QByteArray mimetype = package->ReadAll(index, 1024).trimmed();
            if (mimetype.startsWith("application/vnd.oasis.opendocument."))
                return DocumentType::Odt;
            if (mimetype == "application/epub+zip")
                return DocumentType::Epub;
        }
        if (const qint64 index = package->Locate(u"[Content_Types].xml"_s); index >= 0) {
            const QByteArray types = package->ReadAll(index, 1 << 20);
            for (const char *main : {"wordprocessingml.document.main+xml", "wordprocessingml.template.main+xml",
                                     "ms-word.document.macroEnabled.main+xml",
                                     "ms-word.template.macroEnabledTemplate.main+xml"}) {
                if (types.contains(main))
                    return DocumentType::Docx;
            }
            return DocumentType::Office;
        }
    } catch (const RuntimeError &) {
        return IsPackageType(claimed) ? claimed : DocumentType::Office;
    }
    if (package->Locate(u"content.xml"_s) >= 0)
        return DocumentType::Odt;
    if (package->Locate(u"META-INF/container.xml"_s) >= 0)
        return DocumentType::Epub;
    if (package->Locate(u"word/document.xml"_s) >= 0)
        return DocumentType::Docx;
    return IsPackageType(claimed) ? claimed : DocumentType::Office;
}

// An Office document encrypted with a password is a compound file that holds an
// "EncryptedPackage" stream, wherever its directory lies.
bool HoldsEncryptedPackage(QFile &file)
{
    static const QByteArray name = QByteArray("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    file.seek(0);
    QByteArray previous;
    for (qint64 read = 0; read < (qint64(64) << 20);) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            return false;
        read += chunk.size();
        if ((previous.right(name.size()) + chunk).contains(name))
            return true;
        previous = chunk;
    }
    return false;
}

// The name of the first element of markup, after declarations, comments and the
// document type; empty when there is none in the text.
QString RootElement(QStringView text)
{
    for (qsizetype at = 0; at < text.size();) {
        while (at < text.size() && text[at].isSpace())
            ++at;
        if (at >= text.size() || text[at] != u'<')
            return QString();
        const QStringView rest = text.mid(at);
        qsizetype end; // just past the declaration, comment or document type
        if (rest.startsWith(u"<?"))
            end = rest.indexOf(u"?>") + 2;
        else if (rest.startsWith(u"<!--"))
            end = rest.indexOf(u"-->") + 3;
        else if (rest.startsWith(u"<!"))
            end = rest.indexOf(u'>') + 1;
        else {
            qsizetype n = 1;
            while (n < rest.size() && !rest[n].isSpace() && rest[n] != u'>' && rest[n] != u'/')
                ++n;
            return rest.mid(1, n - 1).toString();
        }
        if (end <= 2)
            return QString();
        at += end;
    }
    return QString();
}

// The first tags of a page that say it is HTML, as browsers sniff pages.
bool LooksLikeHtml(QStringView text)
{
    QStringView rest = text.trimmed();
    static const QStringList tags = {u"<!doctype html"_s, u"<html"_s, u"<head"_s,   u"<script"_s, u"<iframe"_s,
                                     u"<h1"_s,            u"<div"_s,  u"<font"_s,   u"<table"_s,  u"<a"_s,
                                     u"<style"_s,         u"<title"_s, u"<b"_s,     u"<body"_s,   u"<br"_s,
                                     u"<p"_s,             u"<!--"_s};
    for (const QString &tag : tags) {
        if (!rest.startsWith(tag, Qt::CaseInsensitive))
            continue;
        if (tag == u"<!--"_s)
            return true;
        const QStringView after = rest.mid(tag.size());
        if (after.isEmpty() || after[0] == u' ' || after[0] == u'>' || after[0] == u'\t' || after[0] == u'\n'
            || after[0] == u'\r' || after[0] == u'/')
            return true;
    }
    return false;
}

// Markup by its root: flat OpenDocument, XHTML or HTML; other XML goes by the name.
DocumentType SniffMarkup(QStringView text, DocumentType claimed)
{
    const QString root = RootElement(text);
    if (root.endsWith(u":document"_s) && text.contains(u"urn:oasis:names:tc:opendocument:xmlns:office:1.0"_s))
        return DocumentType::FlatOdt;
    if (root.compare(u"html"_s, Qt::CaseInsensitive) == 0 || root.endsWith(u":html"_s))
        return text.trimmed().startsWith(u"<?xml"_s) || text.contains(u"http://www.w3.org/1999/xhtml"_s)
                   ? DocumentType::Xhtml
                   : DocumentType::Html;
    if ((root == u"speak"_s || root.endsWith(u":speak"_s)) && text.contains(u"http://www.w3.org/2001/10/synthesis"_s))
        return DocumentType::Ssml;
    if (LooksLikeHtml(text))
        return DocumentType::Html;
    if (root.endsWith(u"wordDocument"_s) || root == u"pkg:package"_s)
        return DocumentType::Office; // Word's XML documents
    if (claimed == DocumentType::Unknown)
        return DocumentType::Text;
    return claimed;
}

} // namespace

QStringList SupportedExtensions()
{
    return QStringList{u"odt"_s,  u"ott"_s,  u"fodt"_s, u"docx"_s,  u"docm"_s,     u"dotx"_s, u"dotm"_s,
                       u"epub"_s, u"txt"_s,  u"html"_s, u"htm"_s,   u"xhtml"_s,    u"md"_s,   u"markdown"_s,
                       u"ssml"_s}
           + kOfficeExtensions;
}

DocumentType SniffDocumentType(const QString &path)
{
    const DocumentType claimed = ByExtension(QFileInfo(path).suffix().toLower());
    QFile file;
    OpenDocument(file, path);
    const QByteArray head = file.read(4096);
    if (head.isEmpty()) // an empty file is an empty text, unless its name claims a package
        return claimed == DocumentType::Unknown ? DocumentType::Text : claimed;
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06"))
        return SniffZip(path, claimed);
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        if (HoldsEncryptedPackage(file))
            throw PasswordProtected(path);
        return DocumentType::Office;
    }
    if (head.startsWith("{\\rtf") || head.startsWith("\xFFWPC") || head.startsWith("%PDF-"))
        return DocumentType::Office;

    int bom = 0;
    const TextEncoding encoding = DetectTextEncoding(head, &bom);
    const bool wide = encoding != TextEncoding::Utf8 && encoding != TextEncoding::Windows1252;
    const QString text = DecodeText(head);
    if (text.trimmed().startsWith(u'<'))
        return SniffMarkup(text, claimed); // a page with stray NUL bytes is still a page
    if (!wide && std::memchr(head.constData(), 0, static_cast<size_t>(head.size()))) {
        // No text: the reader its name claims refuses it.
        if (claimed == DocumentType::FlatOdt || claimed == DocumentType::Html || claimed == DocumentType::Xhtml
            || claimed == DocumentType::Markdown)
            return DocumentType::Text;
        return claimed;
    }
    switch (claimed) {
    case DocumentType::Unknown:
        return DocumentType::Text;
    case DocumentType::Xhtml:
        return DocumentType::Html;
    default:
        return claimed; // plain text, Markdown, a page; or a package or flat document that lies
    }
}

DispatchingReader::DispatchingReader(IEventLoop *events, IProcessRunner *processes, IWorkingFolder *working,
                                     QString office)
    : m_odt(events)
    , m_flatOdt(events)
    , m_docx(events)
    , m_epub(events)
    , m_text(events)
    , m_html(events, HtmlReader::Syntax::Html)
    , m_xhtml(events, HtmlReader::Syntax::Xhtml)
    , m_markdown(events)
    , m_office(processes, working, events, std::move(office))
{
}

void DispatchingReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts)
{
    IDocumentReader *reader = nullptr;
    switch (SniffDocumentType(path)) {
    case DocumentType::Odt:
        reader = &m_odt;
        break;
    case DocumentType::FlatOdt:
        reader = &m_flatOdt;
        break;
    case DocumentType::Docx:
        reader = &m_docx;
        break;
    case DocumentType::Epub:
        reader = &m_epub;
        break;
    case DocumentType::Text:
        reader = &m_text;
        break;
    case DocumentType::Html:
        reader = &m_html;
        break;
    case DocumentType::Xhtml:
        reader = &m_xhtml;
        break;
    case DocumentType::Markdown:
        reader = &m_markdown;
        break;
    case DocumentType::Ssml:
        reader = &m_ssml;
        break;
    case DocumentType::Office:
        reader = &m_office;
        break;
    case DocumentType::Unknown:
        throw RuntimeError(u"Vocatext cannot read this type of file: "_s + path, ErrorNumber::PathFileAccessError);
    }
    reader->ReadBodyText(path, sink, facts);
}
