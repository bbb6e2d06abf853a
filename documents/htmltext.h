#pragma once

#include "api/documentreader.h"
#include "documents/linewriter.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

class ByteSource;
class YieldClock;

// The text of a web page or an e-book's XHTML document as a browser shows it, element by
// element: block elements (paragraphs, headings, list items, table cells, divisions)
// stand on lines of their own, white space runs count as one space, preformatted text
// keeps its lines, a line break begins a line, an image is its description in brackets.
// Scripts, styles, forms, embedded objects, ruby annotations and hidden elements are left
// out. The page's title and author (and, when asked, its headings) go to the facts, and
// the languages its elements say (lang, xml:lang, inherited; the root's is the page's own
// when the facts have none yet).
class HtmlText
{
public:
    /// An element's attribute by name: empty when it has none.
    using Attributes = std::function<QString(QStringView name)>;

    HtmlText(LineWriter &out, DocumentFacts *facts, bool headings);

    /// An element begins (its local name in lower case); false when its content is not
    /// part of the text and is to be skipped, so that no Leave follows.
    bool Enter(QStringView name, const Attributes &attributes);
    void Leave(QStringView name);
    void Characters(QStringView text);

    /// The ids whose lines are wanted (chapters that begin at an element), and the lines
    /// found for them so far.
    QSet<QString> wantedIds;
    QHash<QString, qint64> idLines;
    /// The line on which the next text will stand.
    qint64 NextLine() const;
    /// Ends a line here: the next text begins a new one.
    void Break() { m_break = true; }
    /// The clock that serves the window while a long run of text is taken apart.
    void SetClock(YieldClock *clock) { m_clock = clock; }

private:
    bool EnterElement(QStringView name, const Attributes &attributes);
    void Begin();
    void Emit(QStringView text);

    void Piece(QStringView text);

    LineWriter &m_out;
    DocumentFacts *m_facts;
    YieldClock *m_clock = nullptr;
    bool m_headings;
    bool m_break = true;     // the next text begins a new line
    bool m_lineBreak = false; // a <br> waits for the text after it
    bool m_space = false;    // a space waits for the text after it
    int m_pre = 0;           // inside preformatted text
    bool m_preStart = false; // the first line end of a <pre> is the markup's
    bool m_preLineEnd = false; // a line end of a <pre> waits for more of it: its last is none
    bool m_inTitle = false;
    QString m_title;
    int m_headingLevel = 0;
    qint64 m_headingLine = 0;
    QString m_heading;
    // The elements entered, each with the language of the text around it.
    std::vector<std::pair<QString, QString>> m_open;
    QString m_language;
};

/// Reads an XHTML document (well-formed XML) into text; when it is not well-formed, it is
/// read with the HTML parser instead, as browsers read such e-books. The names of HTML's
/// character entities (&nbsp;, &eacute;) are known without a DTD.
void ReadXhtml(const QByteArray &bytes, HtmlText &text, YieldClock &clock, TextBudget &budget, const QString &path);

/// Reads an HTML document with the HTML5 parser (HtmlReader's) into text.
void ReadHtml(const QByteArray &bytes, HtmlText &text, YieldClock &clock, TextBudget &budget, const QString &path);

/// The character of an HTML 4 entity name ("eacute"), or 0.
char16_t HtmlEntity(QStringView name);

/// The bytes of a web page as UTF-8: its byte-order mark, else the charset its XML
/// declaration or first meta element names, else UTF-8 when it is valid UTF-8, else
/// Windows-1252 (as browsers read pages that say nothing).
QByteArray HtmlAsUtf8(const QByteArray &bytes);
