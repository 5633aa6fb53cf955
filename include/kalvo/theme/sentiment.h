// The tone of a message: toasts and banners pick their leading icon and
// colours by it. Raw values are passed by hosts as integers.
#pragma once

#include <kalvo/global.h>

namespace kalvo {

enum class Sentiment : int {
    information = 0,
    success = 1,
    warning = 2,
    danger = 3,
    ai = 4,
    plain = 5,
    new_ = 6, // `new` is a keyword
    beta = 7,
    system = 8,
};

template <>
struct EnumTraits<Sentiment>
{
    static constexpr const char *name = "Sentiment";
    static constexpr std::array rows{
        EnumRow<Sentiment>{Sentiment::information, "Information", ".information"},
        EnumRow<Sentiment>{Sentiment::success, "Success", ".success"},
        EnumRow<Sentiment>{Sentiment::warning, "Warning", ".warning"},
        EnumRow<Sentiment>{Sentiment::danger, "Danger", ".danger"},
        EnumRow<Sentiment>{Sentiment::ai, "AI", ".ai"},
        EnumRow<Sentiment>{Sentiment::plain, "Plain", ".plain"},
        EnumRow<Sentiment>{Sentiment::new_, "New", ".new"},
        EnumRow<Sentiment>{Sentiment::beta, "Beta", ".beta"},
        EnumRow<Sentiment>{Sentiment::system, "System", ".system"},
    };
};

} // namespace kalvo
