#pragma once

#include <QString>

namespace gallery {

// Renders every page (or only `onlyPage`) in every appearance and theme to
// DIR/<page>-<appearance>-<theme>.png. Returns the number of files that could
// not be written; prints each file written.
int writeScreenshots(const QString &directory, const QString &onlyPage = {});

} // namespace gallery
