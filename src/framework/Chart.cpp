#include "framework/Chart.h"

#include <algorithm>
#include <cmath>

void TChartAxisRef::SetAutomatic(bool value)
{
    FAxis.Automatic = value;
    FChart.Changed();
}
void TChartAxisRef::SetMaximum(double value)
{
    FAxis.Maximum = value;
    FChart.Changed();
}
void TChartAxisRef::SetMinimum(double value)
{
    FAxis.Minimum = value;
    FChart.Changed();
}
void TChartAxisRef::SetMinMax(double minimum, double maximum)
{
    FAxis.SetMinMax(minimum, maximum);
    FChart.Changed();
}

void TFastLineSeries::Clear()
{
    FChart.FModel.Clear();
    FChart.Changed();
}
void TFastLineSeries::Add(double y)
{
    FChart.FModel.Add(y);
    FChart.Changed();
}
void TFastLineSeries::AddXY(double x, double y)
{
    FChart.FModel.AddXY(x, y);
    FChart.Changed();
}
void TFastLineSeries::Assign(const std::vector<double>& ys)
{
    FChart.FModel.Clear();
    for (double y : ys) FChart.FModel.Add(y);
    FChart.Changed();
}
int TFastLineSeries::Count() const { return static_cast<int>(FChart.FModel.Points().size()); }
TColor TFastLineSeries::SeriesColor() const { return FChart.FSeriesColor; }
void TFastLineSeries::SetSeriesColor(TColor color)
{
    FChart.FSeriesColor = color;
    FChart.Changed();
}

TChart::TChart(TWinControl* parent, const TChartArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FSeriesColor(args.SeriesColor),
      FBackColor(args.BackColor),
      FAxisColor(args.AxisColor),
      FGridColor(args.GridColor),
      FTitle(args.Title)
{
}

void TChart::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"KRV.Chart";
    params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
}

void TChart::Changed()
{
    if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TChart::Paint(HDC dc, const RECT& client)
{
    FillRect(dc, &client, BrushOf(FColor));
    HGDIOBJ oldFont = SelectObject(dc, FFont.Handle());
    SetBkMode(dc, TRANSPARENT);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int textHeight = tm.tmHeight;

    const TChartRange left = FModel.LeftRange();
    const TChartRange bottom = FModel.BottomRange();
    const int plotHeightGuess = std::max(1, static_cast<int>(client.bottom - client.top) - textHeight * 2 - 12);
    const std::vector<double> leftTicks = TChartModel::Ticks(left, std::max(2, plotHeightGuess / (textHeight * 2)));
    const double leftStep = leftTicks.size() > 1 ? leftTicks[1] - leftTicks[0] : 1.0;

    int labelWidth = 0;
    for (double v : leftTicks) {
        std::wstring text = TChartModel::TickText(v, leftStep);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        labelWidth = std::max(labelWidth, static_cast<int>(size.cx));
    }
    const int titleHeight = FTitle.empty() ? 0 : textHeight + 2;
    RECT plot{client.left + labelWidth + 8, client.top + textHeight / 2 + 2 + titleHeight, client.right - 10,
              client.bottom - textHeight - 6};
    if (plot.right <= plot.left + 4 || plot.bottom <= plot.top + 4) {
        SelectObject(dc, oldFont);
        return;
    }
    FillRect(dc, &plot, BrushOf(FBackColor));

    SetTextColor(dc, ColorToRGB(FFont.Color));
    if (!FTitle.empty()) {
        RECT titleRect{client.left, client.top + 1, client.right, client.top + titleHeight};
        DrawTextW(dc, FTitle.c_str(), -1, &titleRect, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    }

    HPEN gridPen = CreatePen(PS_DOT, 1, ColorToRGB(FGridColor));
    HPEN axisPen = CreatePen(PS_SOLID, 1, ColorToRGB(FAxisColor));
    HGDIOBJ oldPen = SelectObject(dc, gridPen);
    SetBkColor(dc, ColorToRGB(FBackColor));

    for (double v : leftTicks) {
        int y = static_cast<int>(std::lround(TChartModel::Map(v, left, plot.bottom - 1, plot.top)));
        MoveToEx(dc, plot.left, y, nullptr);
        LineTo(dc, plot.right, y);
        std::wstring text = TChartModel::TickText(v, leftStep);
        RECT r{client.left, y - textHeight / 2, plot.left - 4, y + textHeight / 2 + 1};
        DrawTextW(dc, text.c_str(), -1, &r, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }
    const int plotWidth = plot.right - plot.left;
    const std::vector<double> bottomTicks = TChartModel::Ticks(bottom, std::max(2, plotWidth / 60));
    const double bottomStep = bottomTicks.size() > 1 ? bottomTicks[1] - bottomTicks[0] : 1.0;
    for (double v : bottomTicks) {
        int x = static_cast<int>(std::lround(TChartModel::Map(v, bottom, plot.left, plot.right - 1)));
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, plot.bottom);
        std::wstring text = TChartModel::TickText(v, bottomStep);
        RECT r{x - 40, plot.bottom + 2, x + 40, plot.bottom + 2 + textHeight};
        DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }

    SelectObject(dc, axisPen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.left - 1, plot.top - 1, plot.right + 1, plot.bottom + 1);
    SelectObject(dc, oldBrush);

    const auto& points = FModel.Points();
    if (!points.empty()) {
        std::vector<POINT> line;
        line.reserve(points.size());
        for (const auto& p : points) {
            double x = TChartModel::Map(p.X, bottom, plot.left, plot.right - 1);
            double y = TChartModel::Map(p.Y, left, plot.bottom - 1, plot.top);
            x = std::clamp(x, -30000.0, 30000.0);
            y = std::clamp(y, -30000.0, 30000.0);
            line.push_back({static_cast<LONG>(std::lround(x)), static_cast<LONG>(std::lround(y))});
        }
        HPEN seriesPen = CreatePen(PS_SOLID, 1, ColorToRGB(FSeriesColor));
        SelectObject(dc, seriesPen);
        int saved = SaveDC(dc);
        IntersectClipRect(dc, plot.left, plot.top, plot.right, plot.bottom);
        if (line.size() == 1)
            SetPixel(dc, line[0].x, line[0].y, ColorToRGB(FSeriesColor));
        else
            Polyline(dc, line.data(), static_cast<int>(line.size()));
        RestoreDC(dc, saved);
        SelectObject(dc, axisPen);
        DeleteObject(seriesPen);
    }
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);
    SelectObject(dc, oldFont);
}

LRESULT TChart::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintClient(FHandle, [this](HDC dc, const RECT& client) {
            // Drawn off screen first so that frequent updates do not flicker.
            HDC memory = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom));
            HGDIOBJ old = SelectObject(memory, bitmap);
            Paint(memory, client);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
        });
        return 0;
    default:
        return TControl::WndProc(message, wParam, lParam);
    }
}
