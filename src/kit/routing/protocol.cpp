#include <kalvo/routing/protocol.h>

#include <QHash>

#include <mutex>

namespace kalvo {

namespace {

struct ProtocolEntry
{
    QString name;
};

struct ProtocolTable
{
    std::mutex mutex;
    QHash<QString, const ProtocolEntry *> entries;
};

ProtocolTable &protocolTable()
{
    // Entries live for the process: protocols are compared by their address.
    static ProtocolTable *table = new ProtocolTable;
    return *table;
}

struct ClassTable
{
    std::mutex mutex;
    QHash<QString, TNClass> classes;
};

ClassTable &classTable()
{
    static ClassTable *table = new ClassTable;
    return *table;
}

} // namespace

TNProtocol::TNProtocol(const QString &name)
{
    if (name.isEmpty())
        return;
    ProtocolTable &table = protocolTable();
    std::lock_guard lock(table.mutex);
    const ProtocolEntry *&entry = table.entries[name];
    if (!entry)
        entry = new ProtocolEntry {name};
    m_entry = entry;
}

QString TNProtocol::name() const
{
    return m_entry ? static_cast<const ProtocolEntry *>(m_entry)->name : QString();
}

TNRoutableObject::~TNRoutableObject() = default;

struct TNClass::Info
{
    QString name;
    bool routable = false;
    QList<TNProtocol> protocols;
    Factory create;
    Factory shared;
};

TNClass::TNClass(const QString &name, bool routable, const QList<TNProtocol> &protocols, Factory create, Factory shared)
{
    auto info = std::make_shared<Info>();
    info->name = name;
    info->routable = routable;
    info->protocols = protocols;
    info->create = std::move(create);
    info->shared = std::move(shared);
    d = std::move(info);
}

QString TNClass::name() const
{
    return d ? d->name : QString();
}

bool TNClass::conformsToRoutableObject() const
{
    return d && d->routable;
}

bool TNClass::conformsToProtocol(const TNProtocol &protocol) const
{
    return d && !protocol.isNull() && d->protocols.contains(protocol);
}

QList<TNProtocol> TNClass::protocols() const
{
    return d ? d->protocols : QList<TNProtocol>();
}

std::shared_ptr<TNRoutableObject> TNClass::createInstance() const
{
    return d && d->create ? d->create() : nullptr;
}

bool TNClass::hasShared() const
{
    return d && d->shared;
}

std::shared_ptr<TNRoutableObject> TNClass::sharedInstance() const
{
    return hasShared() ? d->shared() : nullptr;
}

void TNClass::registerClass(const TNClass &cls)
{
    if (cls.isNull() || cls.name().isEmpty())
        return;
    ClassTable &table = classTable();
    std::lock_guard lock(table.mutex);
    table.classes.insert(cls.name(), cls);
}

TNClass TNClass::classNamed(const QString &name)
{
    ClassTable &table = classTable();
    std::lock_guard lock(table.mutex);
    return table.classes.value(name);
}

} // namespace kalvo
