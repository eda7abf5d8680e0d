// Plain integer points and rectangles of the window layer.
#pragma once

struct TPointI {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPointI&, const TPointI&) = default;
};

struct TRectI {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    TRectI Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
    TRectI Inflate(int dx, int dy) const { return {Left - dx, Top - dy, Right + dx, Bottom + dy}; }
    friend bool operator==(const TRectI&, const TRectI&) = default;
};
