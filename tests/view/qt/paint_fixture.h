// What the drawing view's painting tests share: a document whose page (400
// x 300 twips, one pixel a twip at 1440 dots per inch) starts empty, window
// pixels of colour words, and the page drawn straight into a bitmap by the
// scan converter to compare the painted pixels with.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include "model/pic_page.h"
#include "model_fixtures.h"
#include "platform/qt/dc.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "view/marl_view.h"

// A colour word (red in the low byte) as the window's pixel value.
inline QRgb Pixel(uint32_t colour) {
  return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

class PaintPageTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    SetLogPixels(1440, 1440);
    doc.m_movieRect = Rect32{0, 400, 0, 300};
    page = NewPage(doc);
    ASSERT_TRUE(Edit(page, [&] {
      CPicPage* root = page->GetRoot();
      while (root->GetFirstChild() != nullptr) root->GetFirstChild()->DeleteFromParent();
    }));
  }
  void TearDown() override {
    SetLogPixels(0, 0);
    ModelTest::TearDown();
  }

  CTestDoc doc;
  CDocumentPage* page = nullptr;
};

// The scan converter's rendering of the page's layers drawn straight into a
// bitmap of the client's size through the view's matrix.
inline QImage DirectRendering(CMarlView& view, CPicPage* root, int32_t quality) {
  const CRect client = view.GetClientRect();
  const int w = client.Width(), h = client.Height();
  COffscreenBitmap bitmap;
  EXPECT_TRUE(bitmap.Create(Rect32{0, w, 0, h}));
  bitmap.SetOrigin(1);
  QImage out(w, h, QImage::Format_RGB32);
  {
    const uint32_t aa = quality > kQualityFast ? 1 : 0;
    CBitmapRenderContext rc(&bitmap, aa);
    const Rect32 clip{0, w, 0, h};
    rc.m_scanConverter.SetTarget(&bitmap, &clip, aa);
    rc.m_scanConverter.AllocBuckets();
    rc.SetClip(clip);
    Matrix2x3 m;
    view.GetDocToClientMatrix(m);
    rc.SetMatrix(m);
    rc.FillRectColor(0xFFFFFFFF);
    root->Draw(rc);
    CDC dc;
    EXPECT_TRUE(dc.AttachImage(&out));
    rc.Blit(&dc, clip, 0, 0);
  }
  return out;
}
