#include <kalvo/global.h>

#include <QtGlobal>

namespace kalvo {

void fatalCoderNotImplemented()
{
    qFatal("init(coder:) has not been implemented");
}

void fatalMustOverride(const char *operation)
{
    qFatal("You must override %s in a subclass.", operation);
}

void fatalUnknownRawValue(const char *enumeration, long long raw)
{
    qFatal("Unknown raw value %lld for %s", raw, enumeration);
}

} // namespace kalvo
