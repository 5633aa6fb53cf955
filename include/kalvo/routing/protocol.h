// Protocols, routable objects and classes, the vocabulary of the router
// centre (routercenter.h) and the event registry (eventregistry.h).
//
// C++ has no run-time protocol or class lookup, so both are declared:
//
//   // A protocol is a polymorphic interface with a name: a static member
//   // `tnProtocolName`, or a specialisation of TNProtocolName<P>.
//   struct MeetingService {
//       static constexpr const char *tnProtocolName = "MeetingService";
//       virtual ~MeetingService() = default;
//       virtual void join(const QString &id) = 0;
//   };
//   // A routable class derives from TNRoutableObject and its protocols.
//   class MeetingServiceImpl : public kalvo::TNRoutableObject, public MeetingService {
//       void join(const QString &id) override;
//   };
//   // A "class" is a name plus a factory, its conformance declared here
//   // (checked at compile time against the C++ bases):
//   auto cls = kalvo::TNClass::make<MeetingServiceImpl, MeetingService>("MeetingServiceImpl");
//   center->registerProtocol<MeetingService>(cls);
//   std::shared_ptr<MeetingService> s = center->objectForProtocol<MeetingService>();
//
// Protocol names are interned: two TNProtocol values with the same name are
// the same protocol, compared by address. A protocol may also be named only
// by a string (TNProtocol(QStringLiteral("Name"))); messages, though, need the
// C++ interface type.
//
// Optional protocol methods are modelled as separate interfaces (or as
// virtual methods with empty default bodies). tnSend() sends a message to an
// object that may not implement it: no effect and a zero result then, which
// is how a routable object answers a message it does not implement.
#pragma once

#include <kalvo/global.h>

#include <QList>
#include <QString>

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace kalvo {

// Specialise for interfaces that cannot carry a static `tnProtocolName`:
//   template <> struct kalvo::TNProtocolName<ThirdPartyApi> { static constexpr const char *value = "ThirdPartyApi"; };
template<typename P> struct TNProtocolName
{
};

// clang-format off
template<typename P>
concept TNNamedProtocol = requires {
    { P::tnProtocolName } -> std::convertible_to<const char *>;
} || requires {
    { TNProtocolName<P>::value } -> std::convertible_to<const char *>;
};
// clang-format on

template<TNNamedProtocol P> constexpr const char *tnProtocolNameOf()
{
    if constexpr (requires { TNProtocolName<P>::value; })
        return TNProtocolName<P>::value;
    else
        return P::tnProtocolName;
}

class KALVO_EXPORT TNProtocol
{
public:
    // The null protocol: arguments equal to it are ignored.
    TNProtocol() = default;
    // The protocol with this name; an empty name gives the null protocol.
    explicit TNProtocol(const QString &name);

    template<TNNamedProtocol P> static TNProtocol of()
    {
        static const TNProtocol protocol(QString::fromUtf8(tnProtocolNameOf<P>()));
        return protocol;
    }

    QString name() const;
    bool isNull() const { return m_entry == nullptr; }
    explicit operator bool() const { return m_entry != nullptr; }
    // Stable for the process; used as the sender of "TNRouterReady".
    const void *identity() const { return m_entry; }

    friend bool operator==(const TNProtocol &a, const TNProtocol &b) { return a.m_entry == b.m_entry; }
    friend size_t qHash(const TNProtocol &protocol, size_t seed = 0) noexcept
    {
        return std::hash<const void *> {}(protocol.m_entry) ^ seed;
    }

private:
    const void *m_entry = nullptr;
};

// The base of every object the router centre hands out or creates.
class KALVO_EXPORT TNRoutableObject
{
public:
    virtual ~TNRoutableObject();
};

// clang-format off
template<typename T>
concept TNHasSharedInstance = requires {
    { T::shared() } -> std::convertible_to<std::shared_ptr<TNRoutableObject>>;
};
// clang-format on

// A class registered with the router centre: a name, whether it conforms to
// TNRoutableObject, the protocols it declares, a factory for new instances
// and, optionally, its shared instance (a static `shared()` of the class).
class KALVO_EXPORT TNClass
{
public:
    using Factory = std::function<std::shared_ptr<TNRoutableObject>()>;

    TNClass() = default; // the null class
    TNClass(
        const QString &name, bool routable, const QList<TNProtocol> &protocols, Factory create, Factory shared = {});

    // Declares class T conforming to `Protocols`. T's factory is
    // std::make_shared<T>() when T is default-constructible; its shared
    // instance is T::shared() when T has one.
    template<typename T, typename... Protocols> static TNClass make(const QString &name)
    {
        static_assert((std::is_base_of_v<Protocols, T> && ...), "a class must derive from the protocols it declares");
        constexpr bool routable = std::is_base_of_v<TNRoutableObject, T>;
        Factory create;
        Factory shared;
        if constexpr (routable && std::is_default_constructible_v<T>)
            create = [] { return std::static_pointer_cast<TNRoutableObject>(std::make_shared<T>()); };
        if constexpr (routable && TNHasSharedInstance<T>)
            shared = [] { return std::shared_ptr<TNRoutableObject>(T::shared()); };
        return TNClass(
            name, routable, QList<TNProtocol> {TNProtocol::of<Protocols>()...}, std::move(create), std::move(shared));
    }

    bool isNull() const { return d == nullptr; }
    explicit operator bool() const { return d != nullptr; }
    QString name() const;
    bool conformsToRoutableObject() const;
    bool conformsToProtocol(const TNProtocol &protocol) const;
    QList<TNProtocol> protocols() const;

    // A new instance; null without a factory.
    std::shared_ptr<TNRoutableObject> createInstance() const;
    bool hasShared() const;
    // The class's shared instance; null when it has none.
    std::shared_ptr<TNRoutableObject> sharedInstance() const;

    friend bool operator==(const TNClass &a, const TNClass &b) { return a.d == b.d; }

    // A process-wide table of classes by name, for hosts that name classes
    // in configuration (NSClassFromString). Registering a name again
    // replaces the entry.
    static void registerClass(const TNClass &cls);
    static TNClass classNamed(const QString &name);

private:
    struct Info;
    std::shared_ptr<const Info> d;
};

// Sends `method` to `object` when it implements interface I: I may be the
// object's static type, a base of it, or an interface reached by
// dynamic_cast. Otherwise nothing happens and the result is R{} (zero).
template<typename I, typename Obj, typename R, typename... A, typename... Args>
R tnSend(Obj *object, R (I::*method)(A...), Args &&...args)
{
    I *receiver = nullptr;
    if constexpr (std::is_base_of_v<I, Obj>)
        receiver = object;
    else if constexpr (std::is_polymorphic_v<Obj>)
        receiver = dynamic_cast<I *>(object);
    if (!receiver) {
        if constexpr (std::is_void_v<R>)
            return;
        else
            return R {};
    }
    return (receiver->*method)(std::forward<Args>(args)...);
}

template<typename I, typename Obj, typename R, typename... A, typename... Args>
R tnSend(const std::shared_ptr<Obj> &object, R (I::*method)(A...), Args &&...args)
{
    return tnSend(object.get(), method, std::forward<Args>(args)...);
}

} // namespace kalvo
