// Reads an SVG file into the generic element tree, as start- and
// end-element events: every element becomes a node on a stack and joins its
// parent when it ends; "tarn" elements are collected as variant declarations
// and "files" elements are skipped. The file is wrapped in the pseudo
// element "file".
#include <kalvo/svg/svgmgr.h>

#include "kit/svg/xml_text_p.h"

#include <QXmlStreamReader>

namespace kalvo {

namespace {

const QString kFileElement = QStringLiteral("file");
const QString kFilesElement = QStringLiteral("files");
const QString kTarnElement = QStringLiteral("tarn");

QMap<QString, QString> attributesOf(const QXmlStreamReader &xml)
{
    QMap<QString, QString> attributes;
    // Namespace processing is off, so prefixed names arrive as written; the
    // declarations are kept as the attributes they were in the file.
    for (const QXmlStreamNamespaceDeclaration &declaration : xml.namespaceDeclarations()) {
        const QString prefix = declaration.prefix().toString();
        attributes.insert(prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
                          declaration.namespaceUri().toString());
    }
    for (const QXmlStreamAttribute &attribute : xml.attributes())
        attributes.insert(attribute.qualifiedName().toString(), attribute.value().toString());
    return attributes;
}

// The top of the stack joins the children of the node below it.
void closeTop(QList<KTNSvgElement> &stack)
{
    KTNSvgElement top = stack.takeLast();
    stack.last().childElements.append(std::move(top));
}

} // namespace

KTNSVGMgr::ParsedFile KTNSVGMgr::parseSvgData(const QByteArray &data, const QString &name)
{
    ParsedFile parsed;
    parsed.file = KTNSvgElement(kFileElement, {{QStringLiteral("name"), name}});
    if (data.size() > kMaxFileSize) {
        parsed.error = QStringLiteral("file larger than %1 bytes").arg(kMaxFileSize);
        return parsed;
    }

    // The XML reader refuses a whole UTF-8 document for one bad byte; like any
    // other error, a bad byte ends the reading and what came before stays.
    const qsizetype valid = detail::readableXmlLength(data);
    const bool badBytes = valid < data.size();

    QList<KTNSvgElement> stack;
    stack.append(std::move(parsed.file));
    QXmlStreamReader xml(badBytes ? data.left(valid) : data);
    xml.setNamespaceProcessing(false);
    int elements = 0;
    bool stopped = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString element = xml.qualifiedName().toString();
            if (element == kFilesElement)
                continue;
            if (++elements > kMaxElements) {
                parsed.error = QStringLiteral("more than %1 elements").arg(kMaxElements);
                stopped = true;
                break;
            }
            if (element == kTarnElement) {
                parsed.declarations.append(KTNSvgElement(element, attributesOf(xml)));
                continue;
            }
            if (stack.size() > kMaxDepth) {
                parsed.error = QStringLiteral("elements nested deeper than %1").arg(kMaxDepth);
                stopped = true;
                break;
            }
            stack.append(KTNSvgElement(element, attributesOf(xml)));
        } else if (token == QXmlStreamReader::Characters) {
            // Style sheets are the only character data the engine reads.
            if (stack.size() > 1 && stack.last().elementName == QLatin1String("style")
                && stack.last().text.size() < kMaxFileSize)
                stack.last().text += xml.text();
        } else if (token == QXmlStreamReader::EndElement) {
            const QStringView element = xml.qualifiedName();
            if (element == kFilesElement || element == kTarnElement)
                continue;
            if (stack.size() > 1)
                closeTop(stack);
        }
    }
    if (!stopped && badBytes) {
        parsed.error = QStringLiteral("invalid UTF-8 at byte %1").arg(valid);
        stopped = true;
    } else if (!stopped && xml.hasError()) {
        parsed.error = xml.errorString();
    }
    parsed.complete = !stopped && !xml.hasError();
    // What was read before an error or a limit stays: the elements still open
    // are closed as if their ends had come.
    while (stack.size() > 1)
        closeTop(stack);
    parsed.file = std::move(stack.first());
    return parsed;
}

} // namespace kalvo
