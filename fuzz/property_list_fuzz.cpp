// libFuzzer target: the property-list reader on arbitrary bytes.
#include <kalvo/platform/propertylist.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)kalvo::parsePropertyList(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    return 0;
}
