// A recursive-descent reader over QXmlStreamReader. Every element is checked
// against the property-list vocabulary; anything else fails the whole parse,
// so callers never see half a table.
#include <kalvo/platform/propertylist.h>

#include <QDateTime>
#include <QVariantList>
#include <QVariantMap>
#include <QXmlStreamReader>

namespace kalvo {

namespace {

constexpr int kMaxDepth = 64;

class Reader
{
public:
    explicit Reader(const QByteArray &xml) : m_xml(xml) {}

    std::optional<QVariant> document()
    {
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            if (m_xml.isStartElement()) {
                if (m_xml.name() != QLatin1String("plist"))
                    return std::nullopt;
                std::optional<QVariant> root = nextValue(0);
                if (!root || m_xml.hasError())
                    return std::nullopt;
                return root;
            }
        }
        return std::nullopt;
    }

private:
    // Reads the next element as a value; the reader is left after its end.
    std::optional<QVariant> nextValue(int depth)
    {
        if (!m_xml.readNextStartElement())
            return std::nullopt;
        return value(depth);
    }

    std::optional<QVariant> value(int depth)
    {
        if (depth > kMaxDepth)
            return std::nullopt;
        const QStringView name = m_xml.name();
        if (name == QLatin1String("dict"))
            return dict(depth);
        if (name == QLatin1String("array"))
            return array(depth);
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            const bool b = name == QLatin1String("true");
            m_xml.skipCurrentElement();
            return QVariant(b);
        }
        const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            return std::nullopt;
        if (name == QLatin1String("string"))
            return QVariant(text);
        if (name == QLatin1String("integer")) {
            bool ok = false;
            const qlonglong n = text.trimmed().toLongLong(&ok);
            return ok ? std::optional<QVariant>(QVariant(n)) : std::nullopt;
        }
        if (name == QLatin1String("real")) {
            bool ok = false;
            const double d = text.trimmed().toDouble(&ok);
            return ok ? std::optional<QVariant>(QVariant(d)) : std::nullopt;
        }
        if (name == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            return date.isValid() ? std::optional<QVariant>(QVariant(date.toUTC())) : std::nullopt;
        }
        if (name == QLatin1String("data")) {
            // Property-list data is wrapped and indented: whitespace is not data.
            QByteArray compact = text.toLatin1();
            compact.removeIf([](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; });
            const auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            return decoded ? std::optional<QVariant>(QVariant(*decoded)) : std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<QVariant> dict(int depth)
    {
        QVariantMap map;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != QLatin1String("key"))
                return std::nullopt;
            const QString key = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (m_xml.hasError())
                return std::nullopt;
            std::optional<QVariant> v = nextValue(depth + 1);
            if (!v)
                return std::nullopt;
            map.insert(key, *v);
        }
        if (m_xml.hasError())
            return std::nullopt;
        return QVariant(map);
    }

    std::optional<QVariant> array(int depth)
    {
        QVariantList list;
        while (m_xml.readNextStartElement()) {
            std::optional<QVariant> v = value(depth + 1);
            if (!v)
                return std::nullopt;
            list.append(*v);
        }
        if (m_xml.hasError())
            return std::nullopt;
        return QVariant(list);
    }

    QXmlStreamReader m_xml;
};

} // namespace

std::optional<QVariant> parsePropertyList(const QByteArray &xml)
{
    return Reader(xml).document();
}

} // namespace kalvo
