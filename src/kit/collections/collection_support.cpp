// The non-template parts of the containers: description texts and reading
// arrays from property-list files.
#include <kalvo/collections/collectionsupport.h>
#include <kalvo/collections/threadsafearray.h>

#include <kalvo/platform/propertylist.h>

#include <QFile>
#include <QMetaType>

namespace kalvo {

namespace {

// Arrays read from disk come from the host's own files; anything larger than
// this is refused rather than read into memory whole.
constexpr qint64 kMaxArrayFileBytes = 64 * 1024 * 1024;

} // namespace

void tnFatalThreadSafeArrayReentered()
{
    qFatal("TNThreadSafeArray used again from a block running under its own lock");
}

QString tnObjectDescription(const char *className, const void *object)
{
    return QStringLiteral("<%1: 0x%2>")
        .arg(QString::fromLatin1(className))
        .arg(reinterpret_cast<quintptr>(object), 0, 16);
}

QString tnArrayDescription(const QStringList &elements)
{
    QString text = QStringLiteral("(\n");
    for (qsizetype i = 0; i < elements.size(); ++i) {
        text += QStringLiteral("    ");
        text += elements[i];
        text += i + 1 < elements.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }
    text += QLatin1Char(')');
    return text;
}

std::optional<QVariantList> tnReadArrayFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > kMaxArrayFileBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxArrayFileBytes + 1);
    if (bytes.size() > kMaxArrayFileBytes)
        return std::nullopt;
    const std::optional<QVariant> root = parsePropertyList(bytes);
    if (!root || root->metaType() != QMetaType::fromType<QVariantList>())
        return std::nullopt;
    return root->toList();
}

std::optional<QVariantList> tnReadArrayURL(const QUrl &url)
{
    if (!url.isValid() || !url.isLocalFile())
        return std::nullopt;
    return tnReadArrayFile(url.toLocalFile());
}

} // namespace kalvo
