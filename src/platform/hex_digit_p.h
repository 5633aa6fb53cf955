// The value of one hexadecimal digit, shared by the text-format readers.
#pragma once

#include <QChar>

namespace kalvo::detail {

// 0-15, or -1 when `c` is not a hexadecimal digit.
inline int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace kalvo::detail
