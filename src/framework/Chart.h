// Two-dimensional chart with one fast line series.
//
//   Chart_Lch = Add<TChart>({.Name = L"Chart_Lch", ..., .SeriesColor = clLime});
//   Chart_Lch->LeftAxis().SetMaximum(32767); Chart_Lch->LeftAxis().SetMinimum(-32767);
//   Chart_Lch->Series().Clear(); Chart_Lch->Series().Add(y); ...
// Charts are changed on the user-interface thread only (workers post their
// data through TUIDispatcher).
#pragma once

#include "framework/ChartModel.h"
#include "framework/Controls.h"

class TChart;

class TChartAxisRef {
public:
    TChartAxisRef(TChart& chart, TChartAxis& axis) : FChart(chart), FAxis(axis) {}
    bool Automatic() const { return FAxis.Automatic; }
    void SetAutomatic(bool value);
    double Maximum() const { return FAxis.Maximum; }
    double Minimum() const { return FAxis.Minimum; }
    void SetMaximum(double value);
    void SetMinimum(double value);
    void SetMinMax(double minimum, double maximum);

private:
    TChart& FChart;
    TChartAxis& FAxis;
};

class TFastLineSeries {
public:
    explicit TFastLineSeries(TChart& chart) : FChart(chart) {}
    void Clear();
    void Add(double y);
    void AddXY(double x, double y);
    // Replaces every point at once (one repaint).
    void Assign(const std::vector<double>& ys);
    int Count() const;
    TColor SeriesColor() const;
    void SetSeriesColor(TColor color);

private:
    TChart& FChart;
};

struct TChartArgs {
    KRV_CONTROL_ARGS
    TColor SeriesColor = clLime;
    TColor BackColor = clBlack;
    TColor AxisColor = clSilver;
    TColor GridColor = 0x404040;
    std::wstring Title{};
};

class TChart : public TControl {
public:
    using TArgs = TChartArgs;
    TChart(TWinControl* parent, const TChartArgs& args);

    TChartAxisRef LeftAxis() { return {*this, FModel.LeftAxis}; }
    TChartAxisRef BottomAxis() { return {*this, FModel.BottomAxis}; }
    TFastLineSeries& Series() { return FSeries; }
    const TChartModel& Model() const { return FModel; }
    TChartModel& Model() { return FModel; }
    // Repaints after the model changed.
    void Changed();

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class TFastLineSeries;
    void Paint(HDC dc, const RECT& client);
    TChartModel FModel;
    TFastLineSeries FSeries{*this};
    TColor FSeriesColor, FBackColor, FAxisColor, FGridColor;
    std::wstring FTitle{};
};
