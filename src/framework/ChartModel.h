// Scaling of the two-dimensional chart: one fast line series, a left and a
// bottom axis that are either fixed (Minimum and Maximum as set) or
// automatic (the range of the data).
#pragma once

#include <string>
#include <vector>

struct TChartRange {
    double Min = 0.0;
    double Max = 1.0;
};

class TChartAxis {
public:
    bool Automatic = false;
    double Minimum = 0.0;
    double Maximum = 100.0;
    void SetMinMax(double minimum, double maximum)
    {
        Minimum = minimum;
        Maximum = maximum;
    }
};

struct TChartPoint {
    double X;
    double Y;
};

class TChartModel {
public:
    TChartAxis LeftAxis;
    TChartAxis BottomAxis;

    void Clear() { FPoints.clear(); }
    void AddXY(double x, double y) { FPoints.push_back({x, y}); }
    // Adds a point at the next whole X position (0, 1, 2, ...).
    void Add(double y) { FPoints.push_back({static_cast<double>(FPoints.size()), y}); }
    const std::vector<TChartPoint>& Points() const { return FPoints; }

    // The range an axis shows: fixed, or the data's range when automatic;
    // never empty and never reversed.
    TChartRange LeftRange() const;
    TChartRange BottomRange() const;

    // Pixel position of a value on a range mapped onto [from, to] (to may be
    // smaller than from, as for the left axis where larger values go up).
    static double Map(double value, const TChartRange& range, double from, double to);

    // Tick values at a round step (1, 2 or 5 times a power of ten) so that
    // about maxTicks of them fall inside the range.
    static std::vector<double> Ticks(const TChartRange& range, int maxTicks);
    // Text of a tick value with as many decimals as the step needs.
    static std::wstring TickText(double value, double step);

private:
    TChartRange Effective(const TChartAxis& axis, bool vertical) const;
    std::vector<TChartPoint> FPoints;
};
