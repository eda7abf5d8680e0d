#include "controls/BitBtnExt.h"
#include "framework/ComCtrls.h"
#include "framework/WinTestSupport.h"

#include <gtest/gtest.h>

namespace {

class TButtonForm : public TForm {
public:
    TButtonForm()
        : TForm({.Name = L"FormButtons", .ClassName = L"TFormButtonTest", .Caption = L"Buttons",
                 .ClientWidth = 360, .ClientHeight = 240})
    {
        Pages = Add<TPageControl>({.Name = L"PageControl_1", .Left = 8, .Top = 8, .Width = 220, .Height = 140});
        Page = Pages->AddPage({.Name = L"TabSheet1", .Caption = L"Signal 1"});
        Paged = Page->Add<TBitBtnExt>({.Name = L"BitBtnExt_Paged", .Left = 20, .Top = 20, .Width = 80, .Height = 32,
                                       .Color = TColor{0x80FFFF}, .Caption = L"-20dB"});
        Play = Add<TBitBtnExt>({.Name = L"BitBtnExt_Play", .Left = 240, .Top = 8, .Width = 48, .Height = 40,
                                .Glyph = L"_SignalInactive"});
        Stop = Add<TBitBtnExt>({.Name = L"BitBtnExt_Stop", .Left = 296, .Top = 8, .Width = 48, .Height = 40,
                                .Glyph = L"_Stop"});
        Lock = Add<TBitBtnExt>({.Name = L"BitBtnExt_Lock", .Left = 240, .Top = 60, .Width = 48, .Height = 30,
                                .Glyph = L"_LockLRActive"});
    }
    TPageControl* Pages;
    TTabSheet* Page;
    TBitBtnExt *Paged, *Play, *Stop, *Lock;
};

using BitBtnExtWin = TFormTest<TButtonForm>;

TEST_F(BitBtnExtWin, ADoubleClickGivesTwoPresses)
{
    int clicks = 0;
    Form->Play->OnClick = [&](TControl*) { ++clicks; };
    MouseClicks(Form->Play->Handle(), 2);
    EXPECT_EQ(clicks, 2);
    // The same through the messages a double click produces.
    HWND b = Form->Stop->Handle();
    int stops = 0;
    Form->Stop->OnClick = [&](TControl*) { ++stops; };
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(b, m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(stops, 2);
}

TEST_F(BitBtnExtWin, AButtonInsideAPageControlPaintsItsFace)
{
    Form->Paged->Repaint();
    Pump(50);
    // Face colour 0x80FFFF fills most of the button.
    const int face = CountPixels(Form->Paged->Handle(), RGB(0xFF, 0xFF, 0x80));
    EXPECT_GT(face, 80 * 32 / 2);
    // Pressed: flat face outlined in the derived shadow colour.
    EXPECT_EQ(Form->Paged->ColorShadow(), 0x66CCCCu);
    SendMessageW(Form->Paged->Handle(), BM_SETSTATE, TRUE, 0);
    Form->Paged->Repaint();
    EXPECT_EQ(PixelOf(Form->Paged->Handle(), 0, 16), RGB(0xCC, 0xCC, 0x66));
    SendMessageW(Form->Paged->Handle(), BM_SETSTATE, FALSE, 0);
}

TEST_F(BitBtnExtWin, GlyphStripsAndTheirCells)
{
    EXPECT_EQ(Form->Play->NumGlyphs(), 2);  // a 48 x 24 strip: picture and disabled picture
    Form->Play->Repaint();
    EXPECT_GT(CountPixels(Form->Play->Handle(), RGB(0, 110, 0)), 20);  // the dim green triangle
    EXPECT_EQ(CountPixels(Form->Play->Handle(), RGB(128, 128, 0)), 0);  // olive is transparent
    // Loading a picture by name keeps the cell count and rebuilds the picture.
    Form->Play->LoadGlyph(L"_SignalActive");
    EXPECT_EQ(Form->Play->NumGlyphs(), 2);
    EXPECT_EQ(Form->Play->ButtonGlyph().PictureIndex(bsUp), -1);
    Form->Play->Repaint();
    EXPECT_GT(CountPixels(Form->Play->Handle(), RGB(0, 230, 0)), 20);
    // Assigning a bitmap sets the cell count from its shape.
    TBitmap four;
    four.SetSize(64, 16, clRed);
    Form->Play->SetGlyph(&four);
    EXPECT_EQ(Form->Play->NumGlyphs(), 4);
}

TEST_F(BitBtnExtWin, AStripNarrowerThanItsCellsDrawsNoGlyph)
{
    TBitmap narrow;
    narrow.SetSize(3, 16, clRed);
    Form->Stop->SetGlyph(&narrow);
    Form->Stop->SetNumGlyphs(4);
    Form->Stop->Repaint();
    EXPECT_EQ(Form->Stop->ButtonGlyph().PictureIndex(bsUp), -1);
    EXPECT_EQ(CountPixels(Form->Stop->Handle(), RGB(255, 0, 0)), 0);
}

TEST_F(BitBtnExtWin, DisabledPictures)
{
    // Two cells: the disabled cell, recoloured.
    Form->Lock->SetEnabled(false);
    Form->Lock->Repaint();
    EXPECT_NE(Form->Lock->ButtonGlyph().PictureIndex(bsDisabled), -1);
    // One cell: an embossed picture is built.
    TBitmap one;
    one.SetSize(16, 16, clOlive);
    {
        TMemoryCanvas canvas(one.Handle());
        RECT r{4, 4, 12, 12};
        FillRect(canvas.DC(), &r, BrushOf(clBlue));
    }
    Form->Stop->SetGlyph(&one);
    Form->Stop->SetEnabled(false);
    Form->Stop->Repaint();
    EXPECT_EQ(Form->Stop->NumGlyphs(), 1);
    EXPECT_NE(Form->Stop->ButtonGlyph().PictureIndex(bsDisabled), -1);
    EXPECT_GT(CountPixels(Form->Stop->Handle(), GetSysColor(COLOR_BTNSHADOW)), 30);
}

TEST_F(BitBtnExtWin, SameCellSizeSharesOneImageListAcrossForms)
{
    Form->Play->Repaint();
    Form->Stop->Repaint();
    TGlyphList* shared = Form->Play->ButtonGlyph().List();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(Form->Stop->ButtonGlyph().List(), shared);
    EXPECT_NE(Form->Lock->ButtonGlyph().List(), shared);  // 16 x 16 cells
    // A second form with another 24 x 24 button; the first form goes away.
    class TOther : public TForm {
    public:
        TOther() : TForm({.Name = L"FormOther", .ClassName = L"TFormOther", .ClientWidth = 100, .ClientHeight = 60})
        {
            Button = Add<TBitBtnExt>({.Name = L"BitBtnExt_Rec", .Left = 4, .Top = 4, .Width = 48, .Height = 40,
                                      .Glyph = L"_WavFileInactive"});
        }
        TBitBtnExt* Button;
    };
    TOther* other = Application.CreateForm<TOther>();
    other->Show();
    other->Button->Repaint();
    EXPECT_EQ(other->Button->ButtonGlyph().List(), shared);
    ASSERT_NE(GlyphCache(), nullptr);
    EXPECT_EQ(GlyphCache()->ListCount(), 2u);
    // Freeing the second form keeps the list, which the first form still uses.
    Application.DestroyForm(other);
    EXPECT_EQ(GlyphCache()->ListCount(), 2u);
    EXPECT_EQ(Form->Play->ButtonGlyph().List(), shared);
    Form->Play->LoadGlyph(L"_WavFileInactive");
    Form->Play->Repaint();
    EXPECT_EQ(Form->Play->ButtonGlyph().List(), shared);
    EXPECT_GT(CountPixels(Form->Play->Handle(), RGB(130, 20, 20)), 20);
    Application.DestroyForms();
    Form = nullptr;
    EXPECT_EQ(GlyphCache(), nullptr);  // the last glyph took the cache with it
}

TEST_F(BitBtnExtWin, FaceColourChangesShowAtOnce)
{
    Form->Stop->SetColor(0x8080FF);
    Form->Stop->Repaint();
    EXPECT_GT(CountPixels(Form->Stop->Handle(), RGB(0xFF, 0x80, 0x80)), 500);
    Form->Stop->SetColor(0xC0C0C0);
    Form->Stop->Repaint();
    EXPECT_EQ(CountPixels(Form->Stop->Handle(), RGB(0xFF, 0x80, 0x80)), 0);
}

}  // namespace
