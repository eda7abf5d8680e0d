#include "framework/ChartModel.h"

#include <gtest/gtest.h>

TEST(ChartModel, FixedAxisKeepsItsRange)
{
    TChartModel chart;
    chart.LeftAxis.SetMinMax(-32768, 32768);
    chart.AddXY(0, 100000);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Min, -32768);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Max, 32768);
}

TEST(ChartModel, AutomaticAxisFollowsTheData)
{
    TChartModel chart;
    chart.LeftAxis.Automatic = true;
    for (int i = 0; i < 1023; ++i) chart.Add(i % 2 ? -120.0 : 450.0);
    EXPECT_EQ(chart.Points().size(), 1023u);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Min, -120);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Max, 450);
    EXPECT_DOUBLE_EQ(chart.Points().back().X, 1022);
    chart.Clear();
    EXPECT_TRUE(chart.Points().empty());
    // Without data the automatic axis shows its fixed range.
    chart.LeftAxis.SetMinMax(-1, 1);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Max, 1);
}

TEST(ChartModel, FlatOrReversedRangesAreMadeUsable)
{
    TChartModel chart;
    chart.LeftAxis.Automatic = true;
    chart.Add(0);
    chart.Add(0);
    EXPECT_LT(chart.LeftRange().Min, chart.LeftRange().Max);
    chart.LeftAxis.Automatic = false;
    chart.LeftAxis.SetMinMax(10, -10);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Min, -10);
    EXPECT_DOUBLE_EQ(chart.LeftRange().Max, 10);
}

TEST(ChartModel, MapsValuesOntoPixels)
{
    TChartRange r{-100, 100};
    EXPECT_DOUBLE_EQ(TChartModel::Map(-100, r, 200, 0), 200);
    EXPECT_DOUBLE_EQ(TChartModel::Map(100, r, 200, 0), 0);
    EXPECT_DOUBLE_EQ(TChartModel::Map(0, r, 200, 0), 100);
}

TEST(ChartModel, TicksAtRoundSteps)
{
    auto ticks = TChartModel::Ticks({-32768, 32768}, 4);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks, (std::vector<double>{-20000, 0, 20000}));
    auto bottom = TChartModel::Ticks({0, 100}, 5);
    EXPECT_EQ(bottom, (std::vector<double>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(TChartModel::TickText(0.5, 0.5), L"0.5");
    EXPECT_EQ(TChartModel::TickText(20000, 20000), L"20000");
}
