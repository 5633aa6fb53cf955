// What the parser makes from outside itself: colours, images and
// attachment cells. Kept apart from the parser proper so the fuzz target
// can build the parser alone.
#include "html_snippet_p.h"

#include <kalvo/theme/kalvoimage.h>

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <array>

namespace kalvo::html_detail {

namespace {

ColorPtr makeColor(const TNHTMLColorValue &value)
{
    if (value.darkAlpha > 0)
        return Color::color(quint64(value.lightColor) & 0xFFFFFF, std::min(value.lightAlpha, 1.0f),
            quint64(value.darkColor) & 0xFFFFFF, std::min(value.darkAlpha, 1.0f));
    const quint64 light = quint64(value.lightColor) & 0xFFFFFF;
    return Color::color(light, 1.0, light, 1.0);
}

ImagePtr imageFromVariant(const QVariant &value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<ImagePtr>())
        return value.value<ImagePtr>();
    if (type == QMetaType::fromType<QImage>()) {
        QImage image = value.value<QImage>();
        return image.isNull() ? nullptr : BitmapImage::create(std::move(image));
    }
    if (type == QMetaType::fromType<QPixmap>()) {
        const QPixmap pixmap = value.value<QPixmap>();
        return pixmap.isNull() ? nullptr : BitmapImage::create(pixmap.toImage());
    }
    return nullptr;
}

} // namespace

ColorPtr snippetLinkColor()
{
    static const ColorPtr color = Color::color(0x0C63CE, 1.0, 0x4F9AF7, 1.0);
    return color;
}

// The colour factory takes a lock and formats a key; messages repeat their
// colours, so a small direct-mapped cache per thread answers most asks.
ColorPtr snippetColor(const TNHTMLColorValue &value)
{
    struct Slot
    {
        TNHTMLColorValue value;
        ColorPtr color;
    };
    thread_local std::array<Slot, 256> slotTable;
    TNHTMLColorValue key = value;
    if (key.darkAlpha <= 0) { // one colour: only the light value matters
        key.darkColor = 0;
        key.darkAlpha = 0;
        key.lightAlpha = 1;
    }
    key.lightAlpha = std::min(key.lightAlpha, 1.0f);
    key.darkAlpha = std::min(key.darkAlpha, 1.0f);
    const quint64 hash = (quint64(key.lightColor) * 0x9E3779B1u) ^ (quint64(key.darkColor) * 0x85EBCA77u)
        ^ (quint64(key.lightAlpha * 1000) * 31) ^ quint64(key.darkAlpha * 1000);
    // Four neighbouring slots per colour, so that two colours of one
    // palette that hash alike do not evict each other on every message.
    const std::size_t home = std::size_t(hash ^ (hash >> 11)) & 0xFC;
    for (std::size_t way = 0; way < 4; ++way) {
        const Slot &slot = slotTable[home + way];
        if (slot.color && slot.value == key)
            return slot.color;
    }
    thread_local std::uint8_t nextWay = 0;
    Slot &slot = slotTable[home + (nextWay++ & 3)];
    slot.value = key;
    slot.color = makeColor(key);
    return slot.color;
}

TextAttachmentPtr imageAttachmentFromValue(const QVariant &value)
{
    ImagePtr image = imageFromVariant(value);
    return image ? TextAttachment::imageAttachment(std::move(image)) : nullptr;
}

TextAttachmentPtr namedImageAttachment(const QString &name)
{
    // The registry says whether the name exists; the light/dark image loads
    // its variants from it.
    if (name.isEmpty() || !Image::getImageByName(name))
        return nullptr;
    return TextAttachment::imageAttachment(KalvoImage::imageNamed(name));
}

TextAttachmentPtr viewAttachmentFromObject(QObject *object)
{
    QWidget *view = qobject_cast<QWidget *>(object);
    return view ? TextAttachment::viewAttachment(view) : nullptr;
}

} // namespace kalvo::html_detail
