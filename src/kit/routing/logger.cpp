#include <kalvo/routing/logger.h>

#include <mutex>

namespace kalvo {

namespace {

struct LoggerSlot
{
    std::mutex mutex;
    std::shared_ptr<void> object;
    std::type_index type {typeid(void)};
};

LoggerSlot &loggerSlot()
{
    static LoggerSlot *slot = new LoggerSlot;
    return *slot;
}

} // namespace

void TNLogger::setLoggerObject(std::shared_ptr<void> object, const std::type_info &type)
{
    LoggerSlot &slot = loggerSlot();
    std::shared_ptr<void> previous;
    {
        std::lock_guard lock(slot.mutex);
        previous = std::move(slot.object);
        slot.object = std::move(object);
        slot.type = slot.object ? std::type_index(type) : std::type_index(typeid(void));
    }
    // `previous` is released here, outside the lock: its destructor is the host's.
}

std::pair<std::shared_ptr<void>, std::type_index> TNLogger::loggerObject()
{
    LoggerSlot &slot = loggerSlot();
    std::lock_guard lock(slot.mutex);
    return {slot.object, slot.type};
}

} // namespace kalvo
