// The program's resources: ids present, image wells of the right size and
// colour table, cursor masks, menus, accelerators and dialog layouts.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/qt/cursors.h"
#include "platform/qt/resources.h"
#include "res/program_resources.h"

namespace {

class ResourcesTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterProgramResources(); }
  const CResourceStore& r_ = Resources();
};

uint32_t Read32(const std::vector<uint8_t>& d, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, d.data() + at, 4);
  return v;
}
uint16_t Read16(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

TEST_F(ResourcesTest, StringsTheProgramShows) {
  struct {
    UINT id;
    const char* text;
  } cases[] = {
      {102, "Failed to create object.  Make sure the object is entered in the system registry."},
      {528, "You must have a color selected to complete this action."},
      {534, ".vmp"},
      {57643, "Undo the last action"},
      {32933, "Show only the outines of the drawing"},
      {61440, "Open"},
  };
  for (auto c : cases) EXPECT_EQ(r_.LoadString(c.id), c.text) << c.id;
  EXPECT_TRUE(r_.LoadString(608).starts_with("There is no current layer to draw into.\n\n"));
  EXPECT_FALSE(r_.HasString(61411));  // the out-of-memory box has its own text
}

TEST_F(ResourcesTest, ImageWellsAreFourBitStripsWithTheButtonColours) {
  struct {
    UINT id;
    int images;
  } wells[] = {{kBitmapStandardBar, 17}, {kBitmapVcrBar, 6}, {kBitmapDrawingBar, 10}};
  for (auto w : wells) {
    const std::vector<uint8_t>* dib = r_.FindBitmap(w.id);
    ASSERT_NE(dib, nullptr) << w.id;
    ASSERT_GE(dib->size(), 40u + 64u);
    EXPECT_EQ(Read32(*dib, 0), 40u);
    int width = static_cast<int>(Read32(*dib, 4));
    int height = static_cast<int>(Read32(*dib, 8));
    EXPECT_EQ(width, kImageWidth * w.images) << w.id;
    EXPECT_EQ(height, kImageHeight);
    EXPECT_EQ(Read16(*dib, 14), 4);   // bits per pixel
    EXPECT_EQ(Read32(*dib, 16), 0u);  // not compressed
    size_t stride = static_cast<size_t>(((width * 4 + 31) / 32) * 4);
    EXPECT_EQ(dib->size(), 40 + 64 + stride * static_cast<size_t>(height));
    // The colours the tool bars remap: black, shadow, face, highlight.
    EXPECT_EQ(Read32(*dib, 40 + 0 * 4), 0x000000u);
    EXPECT_EQ(Read32(*dib, 40 + 8 * 4), 0x808080u);
    EXPECT_EQ(Read32(*dib, 40 + 7 * 4), 0xC0C0C0u);
    EXPECT_EQ(Read32(*dib, 40 + 15 * 4), 0xFFFFFFu);
    // Every image draws something on the face.
    for (int i = 0; i < w.images; ++i) {
      bool drawn = false;
      for (int y = 0; y < height && !drawn; ++y) {
        for (int x = i * kImageWidth; x < (i + 1) * kImageWidth && !drawn; ++x) {
          uint8_t byte = (*dib)[104 + static_cast<size_t>(y) * stride + static_cast<size_t>(x / 2)];
          int idx = x % 2 == 0 ? byte >> 4 : byte & 0xF;
          drawn = idx != 7;
        }
      }
      EXPECT_TRUE(drawn) << w.id << " image " << i;
    }
  }
}

TEST_F(ResourcesTest, CursorsTheViewsAndToolsSet) {
  for (UINT id : {102u,   103u,   123u,   495u,   546u,   547u,   1100u, 1205u, 1206u,
                  1207u,  1208u,  1209u,  1210u,  1211u,  1212u,  1215u, 1216u, 1219u,
                  32632u, 32633u, 32634u, 32636u, 32641u, 32646u, 32647u}) {
    const CursorDef* c = r_.FindCursor(id);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(c->width, 32);
    EXPECT_EQ(c->height, 32);
    EXPECT_EQ(c->and_mask.size(), 128u);
    EXPECT_EQ(c->xor_mask.size(), 128u);
    EXPECT_TRUE(c->hot_spot.x >= 0 && c->hot_spot.x < 32 && c->hot_spot.y >= 0 &&
                c->hot_spot.y < 32);
    int opaque = 0;
    for (uint8_t b : c->and_mask) opaque += 8 - __builtin_popcount(b);
    EXPECT_GT(opaque, 20) << id;
    EXPECT_EQ(LoadCursor(static_cast<int>(id))->Id(), static_cast<int>(id));  // the cursor layer's
  }
  EXPECT_NE(r_.FindIcon(kMainFrameResource), nullptr);
}

TEST_F(ResourcesTest, MenusAcceleratorsAndDialogs) {
  auto ids = [&](UINT menu) {
    std::vector<UINT> out;
    for (const MenuItemDef& m : *r_.FindMenu(menu))
      if (m.kind == MenuItemDef::kItem) out.push_back(m.id);
    return out;
  };
  for (UINT m : {476u, 477u, 478u, 479u, 481u, 482u, 116u, 117u, 118u})
    ASSERT_NE(r_.FindMenu(m), nullptr);
  EXPECT_EQ(ids(476).back(), 57856u);
  EXPECT_EQ(ids(478),
            (std::vector<UINT>{57635, 57634, 57637, 57642, 33037, 32775, 32776, 32769, 32790}));
  EXPECT_EQ(ids(116), (std::vector<UINT>{20042, 20030, 20034, 20028, 20039, 20043, 20025, 20040,
                                         20041, 20044}));
  EXPECT_EQ(ids(118), (std::vector<UINT>{20045, 20044}));
  const auto* accel = r_.FindAccelerators(kMainFrameResource);
  ASSERT_NE(accel, nullptr);
  auto find = [&](int vk, UINT mods) {
    for (const AcceleratorDef& a : *accel)
      if (a.vk == vk && a.modifiers == mods) return a.id;
    return 0u;
  };
  EXPECT_EQ(find('Z', kAccelControl), 57643u);
  EXPECT_EQ(find(0x08, kAccelAlt), 57643u);
  EXPECT_EQ(find('A', kAccelControl | kAccelShift), 33037u);
  EXPECT_EQ(find('1', kAccelControl), 32893u);
  const DialogDef* d = r_.FindDialog(kDialogScaleRotate);
  ASSERT_NE(d, nullptr);
  int edits = 0;
  for (const DialogControlDef& c : d->controls) {
    if (c.kind == DialogControlDef::kEdit) ++edits;
    EXPECT_LE(c.rect.right, d->size.cx);
    EXPECT_LE(c.rect.bottom, d->size.cy);
  }
  EXPECT_EQ(edits, 2);
}

}  // namespace
