// The gallery's pages: one per control family. A page is made fresh for
// each window and screenshot, so pages keep no global state.
#pragma once

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace gallery {

// What the page is shown in. Pages read it when they build; the window
// rebuilds the page when it changes.
struct Look
{
    bool dark = false;
    QString theme; // one of themeNames()
};

struct Page
{
    QString id;    // file-name safe: "typography"
    QString title; // "Typography"
    std::function<QWidget *(const Look &)> create;
};

const std::vector<Page> &pages();
// The themes the switch offers, "default" first.
QStringList themeNames();

// Page factories (pages/*.cpp).
QWidget *createTypographyPage(const Look &look);
QWidget *createColoursPage(const Look &look);
QWidget *createViewsPage(const Look &look);
QWidget *createButtonsPage(const Look &look);
QWidget *createIconsPage(const Look &look);
QWidget *createStyledTextPage(const Look &look);

} // namespace gallery
