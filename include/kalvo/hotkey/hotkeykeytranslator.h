// The seam between the hotkey model and the keyboard-layout service: which
// character a key types in a layout, which key types a letter, and which
// layout is current.
//
//   TNKeyTranslator translator;
//   translator.letterForKeyCode = [](int code, const QString &layout) { ... };
//   setKeyTranslator(std::move(translator));   // done by TNKeyboardLayoutMgr
//
// Until a translator is installed (and for every function left empty) the
// built-in US table answers: the current layout is "us", the US layout
// types the characters of a US keyboard, and other layouts translate
// nothing. Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QString>

#include <functional>

namespace kalvo {

struct TNKeyTranslator
{
    // The identifier of the layout in use.
    std::function<QString()> currentKeyboardLayoutID;
    // The upper-cased text a key types without modifiers in a layout; ""
    // when it types nothing (or only a dead key).
    std::function<QString(int keyCode, const QString &layoutID)> letterForKeyCode;
    // The key code that types `letter` (any case) in a layout; `alternateKeyCode`
    // when none does or the alternate is not a character key.
    std::function<int(const QString &letter, int alternateKeyCode, const QString &layoutID)> keyCodeForLetter;
};

// Installs a translator; an empty member keeps the US table's answer.
KALVO_EXPORT void setKeyTranslator(TNKeyTranslator translator);
// Back to the US table alone.
KALVO_EXPORT void resetKeyTranslator();

// The calls the model makes (through the installed translator).
KALVO_EXPORT QString currentKeyboardLayoutID();
KALVO_EXPORT QString translatedLetterForKeyCode(int keyCode, const QString &layoutID);
KALVO_EXPORT int translatedKeyCodeForLetter(const QString &letter, int alternateKeyCode, const QString &layoutID);

// The US table itself: the unmodified character of a character key in
// upper case ("A", "1", "/"), "" for other codes; and the reverse (first
// key typing the letter, any case), or nothing.
KALVO_EXPORT QString usLetterForKeyCode(int keyCode);
KALVO_EXPORT int usKeyCodeForLetter(const QString &letter, int alternateKeyCode);

} // namespace kalvo
