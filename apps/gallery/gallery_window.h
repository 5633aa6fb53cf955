// The gallery's main window: the page list on the left, the appearance and
// theme switches on top, the current page below them.
#pragma once

#include "gallery_page.h"

#include <QWidget>

class QButtonGroup;
class QComboBox;
class QListWidget;
class QScrollArea;

namespace gallery {

class GalleryWindow : public QWidget
{
public:
    explicit GalleryWindow(QWidget *parent = nullptr);

    void showPage(int index);
    void setLook(const Look &look);
    Look look() const { return m_look; }
    int pageIndex() const { return m_pageIndex; }

    // The height the window needs to show the current page without scrolling.
    int fullHeight() const;

private:
    void rebuildPage();
    void applyLook();

    Look m_look;
    int m_pageIndex = 0;
    QListWidget *m_list = nullptr;
    QButtonGroup *m_appearance = nullptr;
    QComboBox *m_theme = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_header = nullptr;
};

} // namespace gallery
