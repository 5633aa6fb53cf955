#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>

#include <array>
#include <utility>

namespace kalvo {

namespace {

// What each character key of a US keyboard types without modifiers, by key
// code (the key positions of keycodes.h). Codes without a character are "".
constexpr std::array<const char *, 51> kUSCharacters = {
    "A", "S", "D", "F", "H", "G", "Z", "X", "C", "V", // 0-9
    "",                                                 // 10: ISO section, not on a US keyboard
    "B", "Q", "W", "E", "R", "Y", "T", "1", "2", "3", "4", "6", "5", "=", "9", "7", "-", "8", "0", "]", "O", "U",
    "[", "I", "P",                                      // 11-35
    "",                                                 // 36: Return
    "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", ".", // 37-47
    "", "",                                             // 48 Tab, 49 Space
    "`",                                                // 50
};

TNKeyTranslator &installed()
{
    static TNKeyTranslator translator;
    return translator;
}

} // namespace

void setKeyTranslator(TNKeyTranslator translator)
{
    installed() = std::move(translator);
}

void resetKeyTranslator()
{
    installed() = TNKeyTranslator{};
}

QString usLetterForKeyCode(int keyCode)
{
    if (keyCode < 0 || keyCode >= static_cast<int>(kUSCharacters.size()))
        return {};
    return QString::fromLatin1(kUSCharacters[static_cast<std::size_t>(keyCode)]);
}

int usKeyCodeForLetter(const QString &letter, int alternateKeyCode)
{
    // Only character keys are converted: a shortcut on Return or F1 keeps
    // its key whatever its stored letter says.
    if (letter.isEmpty() || usLetterForKeyCode(alternateKeyCode).isEmpty())
        return alternateKeyCode;
    const QString upper = letter.toUpper();
    for (std::size_t code = 0; code < kUSCharacters.size(); ++code) {
        if (upper == QLatin1String(kUSCharacters[code]) && kUSCharacters[code][0] != '\0')
            return static_cast<int>(code);
    }
    return alternateKeyCode;
}

QString currentKeyboardLayoutID()
{
    const TNKeyTranslator &t = installed();
    if (t.currentKeyboardLayoutID) {
        const QString id = t.currentKeyboardLayoutID();
        if (!id.isEmpty())
            return id;
    }
    return kTNUSKeyboardLayoutID;
}

QString translatedLetterForKeyCode(int keyCode, const QString &layoutID)
{
    const TNKeyTranslator &t = installed();
    if (t.letterForKeyCode)
        return t.letterForKeyCode(keyCode, layoutID);
    return layoutID == kTNUSKeyboardLayoutID ? usLetterForKeyCode(keyCode) : QString();
}

int translatedKeyCodeForLetter(const QString &letter, int alternateKeyCode, const QString &layoutID)
{
    const TNKeyTranslator &t = installed();
    if (t.keyCodeForLetter)
        return t.keyCodeForLetter(letter, alternateKeyCode, layoutID);
    return layoutID == kTNUSKeyboardLayoutID ? usKeyCodeForLetter(letter, alternateKeyCode) : alternateKeyCode;
}

} // namespace kalvo
