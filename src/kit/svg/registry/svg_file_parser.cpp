// Reads an SVG file into the generic element tree, as start- and
// end-element events: every element becomes a node on a stack and joins its
// parent when it ends; "tarn" elements are collected as variant declarations
// and "files" elements are skipped. The file is wrapped in the pseudo
// element "file".
#include <kalvo/svg/svgmgr.h>

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

// Whether the bytes are, or declare themselves to be, in an encoding other
// than UTF-8 (a UTF-16 or UTF-32 byte order mark or zero bytes around the
// first "<", or an encoding named in the XML declaration).
bool declaresOtherEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith(QByteArray("\0<", 2))
        || bytes.startsWith(QByteArray("<\0", 2)) || bytes.startsWith(QByteArray("\0\0", 2)))
        return true;
    if (!bytes.startsWith("<?xml") && !bytes.startsWith("\xEF\xBB\xBF<?xml"))
        return false;
    const QByteArray head = bytes.left(256);
    const qsizetype end = head.indexOf("?>");
    const QByteArray declaration = end >= 0 ? head.left(end) : head;
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return false;
    qsizetype quote = at + 8;
    while (quote < declaration.size() && declaration[quote] != '"' && declaration[quote] != '\'')
        ++quote;
    if (quote >= declaration.size())
        return false;
    const qsizetype close = declaration.indexOf(declaration[quote], quote + 1);
    const QByteArray encoding = declaration.mid(quote + 1, close < 0 ? -1 : close - quote - 1).trimmed().toLower();
    return encoding != "utf-8" && encoding != "utf8";
}

// The length of the longest prefix of `bytes` that is well-formed UTF-8
// (no overlong forms, surrogates or code points above U+10FFFF).
qsizetype validUtf8Prefix(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            return i;
        }
        if (i + length > size)
            return i;
        for (int k = 1; k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                return i;
            code = code << 6 | (data[i + k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return size;
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
    const qsizetype valid = declaresOtherEncoding(data) ? data.size() : validUtf8Prefix(data);
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
