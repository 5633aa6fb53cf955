// The other members of the button family:
//   IconTextButton  an icon over a short label (toolbar buttons), three sizes
//   CustomButton    a button around a content widget of the caller's; the
//                   click runs performAction() unless shouldPerformAction() vetoes
//   HelpButton      a help text with an optional "?" icon and its own action
//   TextButton32H   a 32-point-high text button (tertiary by default)
#pragma once

#include <kalvo/components/button.h>

#include <QPointer>

namespace kalvo {

class KALVO_EXPORT IconTextButton : public BaseButton
{
    Q_OBJECT

public:
    enum class Style : int { primary = 0, secondary = 1, tertiary = 2 };
    enum class Size : int { small = 0, medium = 1, large = 2 };

    struct Metrics
    {
        qreal cornerRadius;
        int fontSize;
        int minimumWidth;
        int iconSize;
    };
    static Metrics metrics(Size size);

    IconTextButton(const QImage &icon, const QString &label, Style style, Size size, Action action,
                   QWidget *parent = nullptr);
    ~IconTextButton() override;

    QString label() const;
    void setLabel(const QString &label);
    QImage image() const;
    void setImage(const QImage &image);
    Style style() const;
    void setStyle(Style style);
    Size size() const;
    ColorPtr contentColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    QString defaultAccessibilityTitle() const override { return label(); }
    void updateColors() override;
    void paintContent(QPainter &painter) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

template <>
struct EnumTraits<IconTextButton::Style>
{
    static constexpr const char *name = "IconTextButton.Style";
    static constexpr std::array rows{
        EnumRow<IconTextButton::Style>{IconTextButton::Style::primary, "Primary", ".primary"},
        EnumRow<IconTextButton::Style>{IconTextButton::Style::secondary, "Secondary", ".secondary"},
        EnumRow<IconTextButton::Style>{IconTextButton::Style::tertiary, "Tertiary", ".tertiary"},
    };
};

template <>
struct EnumTraits<IconTextButton::Size>
{
    static constexpr const char *name = "IconTextButton.Size";
    static constexpr std::array rows{
        EnumRow<IconTextButton::Size>{IconTextButton::Size::small, "Small", ".small"},
        EnumRow<IconTextButton::Size>{IconTextButton::Size::medium, "Medium", ".medium"},
        EnumRow<IconTextButton::Size>{IconTextButton::Size::large, "Large", ".large"},
    };
};

class KALVO_EXPORT CustomButton : public BaseButton
{
    Q_OBJECT

public:
    // Takes the content widget (owned by the button) and lays it out inside
    // the margins; the content does not take the pointer.
    explicit CustomButton(QWidget *content, QWidget *parent = nullptr, const QMargins &margins = {});

    QWidget *contentView() const;
    QSize sizeHint() const override;

protected:
    // Whether this click may run; true by default.
    virtual bool shouldPerformAction() { return true; }
    // What a click does; by default the action closure.
    virtual void performAction();
    void runAction() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPointer<QWidget> m_content;
    QMargins m_margins;
};

class KALVO_EXPORT HelpButton : public BaseButton
{
    Q_OBJECT

public:
    using HelpAction = std::function<void(HelpButton &)>;

    HelpButton(const QString &helpString, bool needIcon, HelpAction action, QWidget *parent = nullptr);

    QString helpString() const;
    void setHelpString(const QString &text);
    // Rich text takes the place of the plain text when set.
    QString helpAttributedString() const;
    void setHelpAttributedString(const QString &html);
    bool needIcon() const;
    void setNeedIcon(bool need);
    HelpAction buttonAction() const;
    void setButtonAction(HelpAction action);

    QSize sizeHint() const override;

protected:
    QString defaultAccessibilityTitle() const override { return helpString(); }
    void runAction() override;
    void updateColors() override;
    void paintContent(QPainter &painter) override;

private:
    QString m_help;
    QString m_attributedHelp;
    bool m_needIcon = true;
    HelpAction m_action;
};

class KALVO_EXPORT TextButton32H : public Button
{
    Q_OBJECT

public:
    TextButton32H(const QString &label, Action action, QWidget *parent = nullptr, Style style = Style::tertiary);
    QSize sizeHint() const override;
};

} // namespace kalvo
