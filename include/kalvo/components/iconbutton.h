// IconButton: a square button that shows only an icon, with an optional
// notification dot. Its click needs a press on the button itself: a
// release that arrives after a press elsewhere runs nothing.
#pragma once

#include <kalvo/components/button.h>

namespace kalvo {

class View;

class KALVO_EXPORT IconButton : public BaseButton
{
    Q_OBJECT

public:
    enum class Style : int {
        primary = 0,
        secondary = 1,
        tertiary = 2,
        dangerPrimary = 3,
        dangerSecondary = 4,
        dangerTertiary = 5,
        overlay = 6,
        dangerOverlay = 7,
    };
    enum class Size : int { small = 0, medium = 1, large = 2, extraLarge = 3 };
    // The dot's colour (as a notification dot's style: red or blue).
    enum class DotStyle : int { red = 0, blue = 1 };

    struct Metrics
    {
        int side;
        int iconSize;
        qreal cornerRadius;
        int dotDiameter;
        int dotInset;
    };
    static Metrics metrics(Size size);

    IconButton(const QImage &image, Style style, Size size, Action action, QWidget *parent = nullptr);
    ~IconButton() override;
    static IconButton *buttonWithImage(const QImage &image, int style, int size, Action action, QWidget *parent = nullptr);

    QImage image() const;
    void setImage(const QImage &image);
    bool isImageTinted() const;
    void setImageTinted(bool tinted);
    Style style() const;
    void setStyle(Style style);
    Size size() const;
    QMargins contentInsets() const;
    void setContentInsets(const QMargins &insets);
    DotStyle dotStyle() const;
    void setDotStyle(DotStyle style);
    // The dot, a View filled with the error fill (or primary for blue),
    // hidden until showDot.
    View *dotView() const;

    ColorPtr iconTint() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool requiresPreviousMouseDown() const override { return true; }
    void updateColors() override;
    void paintContent(QPainter &painter) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeDot();
    struct Private;
    std::unique_ptr<Private> d;
};

using KTNIconButton = IconButton;

template <>
struct EnumTraits<IconButton::Style>
{
    static constexpr const char *name = "IconButton.Style";
    static constexpr std::array rows{
        EnumRow<IconButton::Style>{IconButton::Style::primary, "Primary", ".primary"},
        EnumRow<IconButton::Style>{IconButton::Style::secondary, "Secondary", ".secondary"},
        EnumRow<IconButton::Style>{IconButton::Style::tertiary, "Tertiary", ".tertiary"},
        EnumRow<IconButton::Style>{IconButton::Style::dangerPrimary, "Danger Primary", ".dangerPrimary"},
        EnumRow<IconButton::Style>{IconButton::Style::dangerSecondary, "Danger Secondary", ".dangerSecondary"},
        EnumRow<IconButton::Style>{IconButton::Style::dangerTertiary, "Danger Tertiary", ".dangerTertiary"},
        EnumRow<IconButton::Style>{IconButton::Style::overlay, "Overlay", ".overlay"},
        EnumRow<IconButton::Style>{IconButton::Style::dangerOverlay, "Danger Overlay", ".dangerOverlay"},
    };
};

template <>
struct EnumTraits<IconButton::Size>
{
    static constexpr const char *name = "IconButton.Size";
    static constexpr std::array rows{
        EnumRow<IconButton::Size>{IconButton::Size::small, "Small", ".small"},
        EnumRow<IconButton::Size>{IconButton::Size::medium, "Medium", ".medium"},
        EnumRow<IconButton::Size>{IconButton::Size::large, "Large", ".large"},
        EnumRow<IconButton::Size>{IconButton::Size::extraLarge, "Extra large", ".extraLarge"},
    };
};

} // namespace kalvo
