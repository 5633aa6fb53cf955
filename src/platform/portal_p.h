// The desktop portal backend of SystemColorScheme (src/platform/linux).
#pragma once

#include <kalvo/platform/systemappearance.h>

#include <QString>

#include <functional>
#include <memory>

namespace kalvo::detail {

class PortalColorScheme
{
public:
    virtual ~PortalColorScheme();
    virtual bool isConnected() const = 0;

    // Connects to the bus at `address` (empty: the session bus), asks for the
    // colour scheme and follows its changes. Answers arrive on the thread
    // that called, through its event loop.
    static std::unique_ptr<PortalColorScheme> connect(const QString &address,
                                                      std::function<void(ColorScheme)> onScheme);
};

} // namespace kalvo::detail
