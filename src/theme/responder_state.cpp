#include "responder_state_p.h"

#include <QHash>
#include <QObject>
#include <QSet>

namespace kalvo::detail {

namespace {

QHash<const QObject *, ResponderState *> &states()
{
    static auto *table = new QHash<const QObject *, ResponderState *>;
    return *table;
}

// Receives every responder's destroyed signal; one object for all.
QObject &janitor()
{
    static auto *object = new QObject;
    return *object;
}

QSet<const QObject *> &inPropagation()
{
    static QSet<const QObject *> set;
    return set;
}

} // namespace

ResponderState *responderState(const QObject *responder)
{
    if (!responder)
        return nullptr;
    return states().value(responder, nullptr);
}

ResponderState &ensureResponderState(const QObject *responder)
{
    Q_ASSERT_X(responder, "kalvo::ensureResponderState", "a responder is a widget or the application, never null");
    ResponderState *&slot = states()[responder];
    if (!slot) {
        slot = new ResponderState;
        QObject::connect(
            responder, &QObject::destroyed, &janitor(),
            [responder] { delete states().take(responder); }, Qt::DirectConnection);
    }
    return *slot;
}

PropagationGuard::PropagationGuard(const QObject *responder)
    : m_responder(responder), m_reentry(inPropagation().contains(responder))
{
    if (!m_reentry)
        inPropagation().insert(responder);
}

PropagationGuard::~PropagationGuard()
{
    if (!m_reentry)
        inPropagation().remove(m_responder);
}

} // namespace kalvo::detail
