#pragma once

#include "api/documentreader.h"
#include "documents/docxreader.h"
#include "documents/epubreader.h"
#include "documents/htmlreader.h"
#include "documents/markdownreader.h"
#include "documents/odtreader.h"
#include "documents/officeconverter.h"
#include "documents/ssmlreader.h"
#include "documents/textreader.h"

#include <QStringList>

class IEventLoop;
class IProcessRunner;
class IWorkingFolder;

/// What a document is, as its content says (its extension decides only between kinds of
/// plain text, and for a file whose content says nothing).
enum class DocumentType { Odt, FlatOdt, Docx, Epub, Text, Html, Xhtml, Markdown, Ssml, Office, Unknown };

/// The type of the document at path, from its first bytes and, for a zip package, the
/// mimetype or main part it names. Throws when the file cannot be read.
DocumentType SniffDocumentType(const QString &path);

/// The extensions (lower case, no dot) of every type that is read, natively or through
/// LibreOffice, for folder walks and type filters.
QStringList SupportedExtensions();

// The one document reader the front ends are handed: it tells the type from the content
// (a renamed file is read as what it is; a file whose content is not what its extension
// claims is refused by that type's reader) and hands the document to the reader of that
// type; every type that LibreOffice opens and no reader here reads goes through
// LibreOffice when it is installed.
class DispatchingReader final : public IDocumentReader
{
public:
    /// processes and working are for LibreOffice; office is its program (or empty).
    DispatchingReader(IEventLoop *events, IProcessRunner *processes, IWorkingFolder *working,
                      QString office = OfficeConverter::InstalledOffice());
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    OdtReader m_odt;
    FlatOdtReader m_flatOdt;
    DocxReader m_docx;
    EpubReader m_epub;
    TextReader m_text;
    HtmlReader m_html;
    HtmlReader m_xhtml;
    MarkdownReader m_markdown;
    SsmlReader m_ssml;
    OfficeConverter m_office;
};
