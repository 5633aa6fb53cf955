#include <kalvo/foundation/sharedtypes.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

template <typename E>
void expectRawValuesRoundTrip(int count)
{
    const auto cases = allCases<E>();
    ASSERT_EQ(static_cast<int>(cases.size()), count);
    for (int raw = 0; raw < count; ++raw) {
        ASSERT_TRUE(fromRaw<E>(raw).has_value()) << raw;
        EXPECT_EQ(toRaw(*fromRaw<E>(raw)), raw);
        EXPECT_EQ(toRaw(cases[raw]), raw);
    }
    EXPECT_FALSE(fromRaw<E>(-1));
    EXPECT_FALSE(fromRaw<E>(count));
    EXPECT_FALSE(fromRaw<E>(1LL << 40)) << "must not wrap into range";
    EXPECT_FALSE(fromOptionalRaw<E>(std::nullopt));
    EXPECT_TRUE(fromOptionalRaw<E>(0));
}

TEST(SharedTypes, RawValuesRoundTripAndRejectOutOfRange)
{
    expectRawValuesRoundTrip<Gravity>(5);
    expectRawValuesRoundTrip<Direction>(4);
    expectRawValuesRoundTrip<RectEdge>(9);
    EXPECT_TRUE(description(static_cast<Gravity>(42)).isEmpty());
}

TEST(SharedTypesDeathTest, UnknownRawValueWhereACaseIsNeededStopsTheProcess)
{
    EXPECT_DEATH(checkedFromRaw<RectEdge>(9), "Unknown raw value 9 for RectEdge");
    EXPECT_EQ(checkedFromRaw<RectEdge>(8), RectEdge::bottomRight);
}

} // namespace
