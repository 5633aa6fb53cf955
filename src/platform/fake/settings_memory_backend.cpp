#include <kalvo/platform/settings.h>

#include <mutex>

namespace kalvo {

struct MemorySettingsBackend::SharedState
{
    std::mutex mutex;
    QVariantMap values;
};

std::shared_ptr<MemorySettingsBackend::SharedState> MemorySettingsBackend::newSharedState()
{
    return std::make_shared<SharedState>();
}

MemorySettingsBackend::MemorySettingsBackend() : m_state(std::make_shared<SharedState>()) {}

MemorySettingsBackend::MemorySettingsBackend(std::shared_ptr<SharedState> state)
    : m_state(state ? std::move(state) : std::make_shared<SharedState>())
{
}

MemorySettingsBackend::~MemorySettingsBackend() = default;

std::shared_ptr<MemorySettingsBackend::SharedState> MemorySettingsBackend::sharedState() const
{
    return m_state;
}

QVariantMap MemorySettingsBackend::load()
{
    std::lock_guard lock(m_state->mutex);
    return m_state->values;
}

std::optional<QVariantMap> MemorySettingsBackend::save(const QHash<QString, QVariant> &changes)
{
    std::lock_guard lock(m_state->mutex);
    applyChanges(m_state->values, changes);
    return m_state->values;
}

} // namespace kalvo
