#include "controls/ButtonGlyphModel.h"

TColor ShadowColorOf(TColor rgb)
{
    return MakeColor(ColorRed(rgb) * 80 / 100, ColorGreen(rgb) * 80 / 100, ColorBlue(rgb) * 80 / 100);
}

void TGlyphCells::AssignStrip(int width, int height)
{
    FWidth = width > 0 ? width : 0;
    FHeight = height > 0 ? height : 0;
    if (FHeight >= 1 && FWidth % FHeight == 0) {
        int cells = FWidth / FHeight;
        SetNumGlyphs(cells <= 4 ? cells : 1);
    }
}

void TGlyphCells::LoadStrip(int width, int height)
{
    FWidth = width > 0 ? width : 0;
    FHeight = height > 0 ? height : 0;
}

bool TGlyphCells::SetNumGlyphs(int value)
{
    if (value > 4) value = 4;
    if (value <= 0 || value == FNumGlyphs) return false;
    FNumGlyphs = value;
    return true;
}

TPointI TGlyphCells::CellSize() const
{
    int w = FWidth / FNumGlyphs;
    if (w <= 0 || FHeight <= 0) return {0, 0};
    return {w, FHeight};
}

TButtonState TGlyphCells::PictureState(TButtonState state) const
{
    return (state == bsDown && FNumGlyphs < 3) ? bsUp : state;
}

int TGlyphCells::SourceCell(TButtonState state) const
{
    int i = static_cast<int>(state);
    return i >= FNumGlyphs ? 0 : i;
}

TButtonLayoutResult CalcButtonLayout(const TRectI& client, TPointI offset, TPointI glyphSize,
                                     TPointI textSize, TButtonLayout layout, int margin, int spacing,
                                     bool rightToLeft)
{
    if (rightToLeft) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    const TPointI clientSize{client.Width(), client.Height()};
    TPointI glyphPos;
    TPointI textPos;
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    if (horizontal) {
        glyphPos.Y = (clientSize.Y - glyphSize.Y + 1) / 2;
        textPos.Y = (clientSize.Y - textSize.Y + 1) / 2;
    } else {
        glyphPos.X = (clientSize.X - glyphSize.X + 1) / 2;
        textPos.X = (clientSize.X - textSize.X + 1) / 2;
    }
    if (textSize.X == 0 || glyphSize.X == 0) spacing = 0;

    const int client1 = horizontal ? clientSize.X : clientSize.Y;
    const int glyph1 = horizontal ? glyphSize.X : glyphSize.Y;
    const int text1 = horizontal ? textSize.X : textSize.Y;
    if (margin == -1) {
        if (spacing == -1) {
            margin = (client1 - (glyph1 + text1)) / 3;
            spacing = margin;
        } else {
            margin = (client1 - (glyph1 + spacing + text1) + 1) / 2;
        }
    } else if (spacing == -1) {
        spacing = ((client1 - (margin + glyph1)) - text1) / 2;
    }

    switch (layout) {
    case blGlyphLeft:
        glyphPos.X = margin;
        textPos.X = glyphPos.X + glyphSize.X + spacing;
        break;
    case blGlyphRight:
        glyphPos.X = clientSize.X - margin - glyphSize.X;
        textPos.X = glyphPos.X - spacing - textSize.X;
        break;
    case blGlyphTop:
        glyphPos.Y = margin;
        textPos.Y = glyphPos.Y + glyphSize.Y + spacing;
        break;
    case blGlyphBottom:
        glyphPos.Y = clientSize.Y - margin - glyphSize.Y;
        textPos.Y = glyphPos.Y - spacing - textSize.Y;
        break;
    }
    const int dx = client.Left + offset.X;
    const int dy = client.Top + offset.Y;
    TButtonLayoutResult result;
    result.GlyphPos = {glyphPos.X + dx, glyphPos.Y + dy};
    result.TextBounds = TRectI{0, 0, textSize.X, textSize.Y}.Offset(textPos.X + dx, textPos.Y + dy);
    return result;
}

int TGlyphSlots::AllocateIndex(bool& appended)
{
    appended = false;
    int index = 0;
    while (index < static_cast<int>(FUsed.size()) && FUsed[static_cast<std::size_t>(index)]) ++index;
    if (index == static_cast<int>(FUsed.size())) {
        FUsed.push_back(false);
        appended = true;
    }
    FUsed[static_cast<std::size_t>(index)] = true;
    ++FCount;
    return index;
}

void TGlyphSlots::Delete(int index)
{
    if (index < 0 || index >= static_cast<int>(FUsed.size())) return;
    if (!FUsed[static_cast<std::size_t>(index)]) return;
    FUsed[static_cast<std::size_t>(index)] = false;
    --FCount;
}
