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

TEST(SharedTypes, RawValuesMatchTheDocumentedNumbers)
{
    expectRawValuesRoundTrip<Gravity>(5);
    expectRawValuesRoundTrip<Direction>(4);
    expectRawValuesRoundTrip<RectEdge>(9);
    EXPECT_EQ(toRaw(Gravity::trailing), 3);
    EXPECT_EQ(toRaw(Direction::left), 2);
    EXPECT_EQ(toRaw(RectEdge::center), 4);
    EXPECT_EQ(toRaw(RectEdge::bottomRight), 8);
}

TEST(SharedTypes, DescriptionsAreWordsAndDebugDescriptionsAreCaseNames)
{
    EXPECT_EQ(description(Gravity::top), QStringLiteral("Top"));
    EXPECT_EQ(description(Gravity::trailing), QStringLiteral("Trailing"));
    EXPECT_EQ(debugDescription(Gravity::leading), QStringLiteral(".leading"));
    EXPECT_EQ(description(Direction::up), QStringLiteral("Up"));
    EXPECT_EQ(debugDescription(RectEdge::bottomLeft), QStringLiteral(".bottomLeft"));
    EXPECT_EQ(description(RectEdge::topRight), QStringLiteral("Top right"));
    EXPECT_TRUE(description(static_cast<Gravity>(42)).isEmpty());
}

TEST(SharedTypes, DirectionAxes)
{
    EXPECT_TRUE(isVertical(Direction::down));
    EXPECT_TRUE(isVertical(Direction::up));
    EXPECT_FALSE(isVertical(Direction::left));
    EXPECT_TRUE(isHorizontal(Direction::left));
    EXPECT_TRUE(isHorizontal(Direction::right));
    EXPECT_FALSE(isHorizontal(Direction::down));
}

TEST(SharedTypesDeathTest, UnknownRawValueWhereACaseIsNeededStopsTheProcess)
{
    EXPECT_DEATH(checkedFromRaw<RectEdge>(9), "Unknown raw value 9 for RectEdge");
    EXPECT_EQ(checkedFromRaw<RectEdge>(8), RectEdge::bottomRight);
}

} // namespace
