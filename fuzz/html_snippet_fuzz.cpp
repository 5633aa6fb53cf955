// libFuzzer target: the HTML snippet parser on raw bytes, with attachments
// (an image, a target object without a widget, a number). Whatever the bytes, the result must be
// well formed: runs cover the text without gaps, the text is no longer than
// the input, every attachment stands on an attachment character, and the
// entity helpers round-trip.
#include <kalvo/html/htmlsnippet.h>

#include "kit/html/html_snippet_p.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdint>
#include <cstdlib>

// The target builds the parser alone; the cells and colours it would get
// from the rest of the library are stood in for here. Every attachments
// entry that is an image gives an image cell, every object a view cell of a
// fixed size (so the inline-view alignment runs), colours are left out.
namespace kalvo {

TextAttachment::TextAttachment(Kind kind, ImagePtr image, QWidget *view)
    : m_kind(kind), m_image(std::move(image)), m_view(view)
{ }

TextAttachmentPtr TextAttachment::imageAttachment(ImagePtr image)
{
    return TextAttachmentPtr(new TextAttachment(Kind::Image, std::move(image), nullptr));
}

TextAttachmentPtr TextAttachment::viewAttachment(QWidget *view)
{
    return TextAttachmentPtr(new TextAttachment(Kind::View, nullptr, view));
}

QSizeF TextAttachment::cellSize() const
{
    return m_kind == Kind::View ? QSizeF(12, 40) : QSizeF(6, 4);
}

namespace html_detail {

ColorPtr snippetLinkColor()
{
    return nullptr;
}

ColorPtr snippetColor(const TNHTMLColorValue &)
{
    return nullptr;
}

TextAttachmentPtr imageAttachmentFromValue(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<QImage>() ? TextAttachment::imageAttachment(nullptr) : nullptr;
}

TextAttachmentPtr namedImageAttachment(const QString &name)
{
    return name == QLatin1String("logo") ? TextAttachment::imageAttachment(nullptr) : nullptr;
}

TextAttachmentPtr viewAttachmentFromObject(QObject *object)
{
    return object ? TextAttachment::viewAttachment(nullptr) : nullptr;
}

} // namespace html_detail
} // namespace kalvo

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "html_snippet_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    static QObject target;
    static const kalvo::TNHTMLAttachments attachments = [] {
        QImage pixels(6, 4, QImage::Format_ARGB32);
        pixels.fill(Qt::blue);
        return kalvo::TNHTMLAttachments {
            {QStringLiteral("t"), QVariant::fromValue<QObject *>(&target)},
            {QStringLiteral("img"), QVariant(pixels)},
            {QStringLiteral("n"), QVariant(42)},
        };
    }();

    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const kalvo::StyledText text = kalvo::TNParseHTMLSnippetImpl::parseHTMLSnippet(bytes, attachments);
    check(text.length() <= qsizetype(size));

    qsizetype at = 0;
    for (const kalvo::StyledRun &run : text.runs()) {
        check(run.range.location == at && run.range.length > 0);
        at = run.range.end();
    }
    check(at == text.length());
    for (const auto &[position, attachment] : text.attachments())
        check(attachment && text.text().at(position).unicode() == kalvo::kAttachmentCharacter);

    const QString decoded = QString::fromUtf8(bytes);
    check(kalvo::htmlDecode(kalvo::htmlEncode(decoded)) == decoded);
    for (const kalvo::TNImageNode &image : kalvo::TNParseHTMLSnippetImpl::parseHTMLImage(decoded))
        check(!image.src.isEmpty());
    return 0;
}
