#include "reading/xmlguard.h"

using namespace Qt::StringLiterals;

void PrepareXmlReader(QXmlStreamReader &reader, QByteArrayView xml)
{
    reader.addData(QByteArray::fromRawData(xml.data(), xml.size()));
    reader.setEntityExpansionLimit(0);
}

QString RefusedXmlToken(const QXmlStreamReader &reader, int depth, int maxDepth)
{
    switch (reader.tokenType()) {
    case QXmlStreamReader::DTD:
        if (!reader.entityDeclarations().isEmpty() || reader.text().contains(u"<!ENTITY"))
            return u"line %1: the document type declares entities, which are never expanded"_s.arg(reader.lineNumber());
        return {};
    case QXmlStreamReader::EntityReference:
        return u"line %1: a reference to the entity \"%2\", which is never expanded"_s.arg(reader.lineNumber())
            .arg(reader.name().toString().left(64));
    case QXmlStreamReader::StartElement:
        if (depth > maxDepth)
            return u"line %1: elements nested deeper than %2"_s.arg(reader.lineNumber()).arg(maxDepth);
        return {};
    default:
        return {};
    }
}

QString XmlErrorText(const QXmlStreamReader &reader)
{
    return u"damaged XML at line %1: %2"_s.arg(reader.lineNumber()).arg(reader.errorString());
}
