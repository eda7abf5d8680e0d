#include "framework/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

TChartRange TChartModel::Effective(const TChartAxis& axis, bool vertical) const
{
    TChartRange r{axis.Minimum, axis.Maximum};
    if (axis.Automatic && !FPoints.empty()) {
        r.Min = r.Max = vertical ? FPoints.front().Y : FPoints.front().X;
        for (const auto& p : FPoints) {
            double v = vertical ? p.Y : p.X;
            if (!std::isfinite(v)) continue;
            r.Min = std::min(r.Min, v);
            r.Max = std::max(r.Max, v);
        }
    }
    if (!std::isfinite(r.Min) || !std::isfinite(r.Max)) r = {0.0, 1.0};
    if (r.Max < r.Min) std::swap(r.Min, r.Max);
    if (r.Max == r.Min) {
        double pad = r.Min == 0.0 ? 1.0 : std::fabs(r.Min) * 0.1;
        r.Min -= pad;
        r.Max += pad;
    }
    return r;
}

TChartRange TChartModel::LeftRange() const { return Effective(LeftAxis, true); }
TChartRange TChartModel::BottomRange() const { return Effective(BottomAxis, false); }

double TChartModel::Map(double value, const TChartRange& range, double from, double to)
{
    return from + (value - range.Min) * (to - from) / (range.Max - range.Min);
}

std::vector<double> TChartModel::Ticks(const TChartRange& range, int maxTicks)
{
    std::vector<double> ticks;
    if (maxTicks < 1 || !(range.Max > range.Min)) return ticks;
    double raw = (range.Max - range.Min) / maxTicks;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= raw) break;
    }
    double first = std::ceil(range.Min / step) * step;
    for (int i = 0; i <= maxTicks + 1; ++i) {
        double v = first + i * step;
        if (v > range.Max + step * 1e-9) break;
        if (std::fabs(v) < step * 1e-9) v = 0.0;
        ticks.push_back(v);
    }
    return ticks;
}

std::wstring TChartModel::TickText(double value, double step)
{
    int decimals = 0;
    if (step > 0 && step < 1) decimals = std::min(9, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::wstring out;
    for (const char* p = buf; *p; ++p) out += static_cast<wchar_t>(*p);
    return out;
}
