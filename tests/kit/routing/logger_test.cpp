#include <kalvo/routing/logger.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

struct HostLogger
{
    int level = 3;
};

TEST(Logger, KeepsTheHostsObjectUnchanged)
{
    EXPECT_TRUE(TNLogger::isNoLogClient());
    auto logger = std::make_shared<HostLogger>();
    TNLogger::setLogger(logger);
    EXPECT_EQ(TNLogger::getLogger<HostLogger>(), logger);
    EXPECT_EQ(TNLogger::getLoggerObject().get(), logger.get());
    EXPECT_EQ(TNLogger::getLogger<int>(), nullptr); // asked as another type
    TNLogger::clearLogger();
    EXPECT_EQ(TNLogger::getLogger<HostLogger>(), nullptr);
    EXPECT_EQ(logger.use_count(), 1);
}

} // namespace
