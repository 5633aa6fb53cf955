// What the theme and appearance code keeps per responder (widget or
// application): a side table keyed by object, emptied when the object is
// destroyed, because any host widget can be a responder. Main thread only.
#pragma once

#include <kalvo/theme/appearance.h>

#include <memory>

namespace kalvo::detail {

struct ResponderState
{
    std::shared_ptr<TNTheme> tnTheme;
    std::shared_ptr<TNTheme> cachedEffectiveTheme;
    std::shared_ptr<TNDynamicTheme> drawingTheme;
    std::shared_ptr<Appearance> appearance;
    std::shared_ptr<TNAppearance> tnAppearance;
    std::shared_ptr<TNDynamicAppearance> drawingAppearance;
};

// The state of `responder`, or null when it has none yet.
ResponderState *responderState(const QObject *responder);
// The state of `responder`, made on first use.
ResponderState &ensureResponderState(const QObject *responder);

// Guards propagation against responders that follow each other in a loop:
// true when `responder` is already being updated further up the stack.
class PropagationGuard
{
public:
    explicit PropagationGuard(const QObject *responder);
    ~PropagationGuard();
    bool isReentry() const { return m_reentry; }

private:
    const QObject *m_responder;
    bool m_reentry;
};

} // namespace kalvo::detail
